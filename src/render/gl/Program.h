#pragma once

#include "render/gl/Object.h"

namespace GL {

// A linked vertex + fragment program; compile and link status are not checked.
class Program : public Object {
public:
    Program(const char *vertexSource, const char *fragmentSource);
    ~Program() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
