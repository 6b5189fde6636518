#pragma once

#include "render/gl/Object.h"

namespace GL {

// A 2D texture, linear filtering, clamped; left bound after construction.
class Texture : public Object {
public:
    Texture(const void *data, int width, int height, GLenum format, GLint internalFormat);
    ~Texture() override;
    void bind() override;
    void unbind() override;
    // Respecifies level 0 with new pixels (GL_UNSIGNED_BYTE) and size.
    void update(const void *data, int width, int height);

    GLenum format;
    GLint internalFormat;
};

} // namespace GL
