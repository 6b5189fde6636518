#include <GL/glew.h>

#include "common/GlTestContext.h"

bool initGlewForTests()
{
    glewExperimental = GL_TRUE;
    return glewInit() == GLEW_OK;
}

std::vector<uint8_t> readTextureRgba(unsigned int texture, int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
