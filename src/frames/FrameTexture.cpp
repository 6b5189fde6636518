#include "frames/FrameTexture.h"

FrameTexture::FrameTexture() = default;

FrameTexture::~FrameTexture()
{
    attached.reset();
}

GLuint FrameTexture::id() const
{
    return texture ? texture->id : 0;
}

bool FrameTexture::allocate(int width, int height)
{
    return specify(nullptr, width, height);
}

bool FrameTexture::specify(const uint8_t *rgba, int width, int height)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (texture && width == storageWidth && height == storageHeight) {
        texture->bind();
        return false;
    }
    attached.reset();
    if (texture)
        texture->update(rgba, width, height);
    else
        texture = std::make_unique<GL::Texture>(rgba, width, height, GL_RGBA, GL_RGBA);
    storageWidth = width;
    storageHeight = height;
    shownFrame = nullptr;
    shownPicture = 0;
    return true;
}

void FrameTexture::upload(const uint8_t *rgba, int width, int height)
{
    // Every picture respecifies level 0 with its pixels (glTexImage2D of the
    // same size). Mesa's llvmpipe showed black after a glTexSubImage2D into
    // the existing storage in some widgets (one shown only after its host
    // embedded it, one made after another widget had been destroyed).
    if (!specify(rgba, width, height))
        texture->update(rgba, width, height);
}
