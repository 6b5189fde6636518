#pragma once

#include "render/gl/Object.h"

namespace GL {

class MultisampleTexture : public Object {
public:
    MultisampleTexture();
    ~MultisampleTexture() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
