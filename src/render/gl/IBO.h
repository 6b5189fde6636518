#pragma once

#include "render/gl/Object.h"

#include <cstdint>

namespace GL {

// GL_ELEMENT_ARRAY_BUFFER filled once; the name lives in buffer, id stays 0.
class IBO : public Object {
public:
    IBO(const void *data, int sizeBytes, int count);
    ~IBO() override;
    void bind() override;
    void unbind() override;

    const void *data;
    int32_t size;
    GLuint buffer = 0;
    int32_t count;
};

} // namespace GL
