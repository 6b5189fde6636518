#pragma once

#include "render/gl/Object.h"

namespace GL {

class RBO : public Object {
public:
    RBO();
    ~RBO() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
