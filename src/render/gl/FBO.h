#pragma once

#include "render/gl/Object.h"

namespace GL {

class FBO : public Object {
public:
    FBO();
    ~FBO() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
