#include "render/gl/MultisampleTexture.h"

namespace GL {

MultisampleTexture::MultisampleTexture()
{
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, id);
}

MultisampleTexture::~MultisampleTexture()
{
    glDeleteTextures(1, &id);
}

void MultisampleTexture::bind()
{
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, id);
}

void MultisampleTexture::unbind()
{
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
}

} // namespace GL
