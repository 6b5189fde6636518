#pragma once

#include "render/gl/Object.h"

namespace GL {

// A linked vertex + fragment program. A shader that does not compile or a
// program that does not link is logged with the driver's info log (Qt warning
// output); the object is still made, and draws nothing.
class Program : public Object {
public:
    Program(const char *vertexSource, const char *fragmentSource);
    ~Program() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
