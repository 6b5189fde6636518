#pragma once

#include "render/gl/Object.h"

#include <cstdint>

namespace GL {

// GL_ARRAY_BUFFER filled once (GL_STATIC_DRAW); data is read only while constructing.
class VBO : public Object {
public:
    VBO(const void *data, int sizeBytes);
    ~VBO() override;
    void bind() override;
    void unbind() override;

    const void *data;
    int32_t size;
};

} // namespace GL
