#pragma once

#include "render/gl/Object.h"

namespace GL {

class VAO : public Object {
public:
    VAO();
    ~VAO() override;
    void bind() override;
    void unbind() override;
};

} // namespace GL
