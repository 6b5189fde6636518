#include "render/gl/FBO.h"

namespace GL {

FBO::FBO()
{
    glGenFramebuffers(1, &id);
    glBindFramebuffer(GL_FRAMEBUFFER, id);
}

FBO::~FBO()
{
    glDeleteFramebuffers(1, &id);
}

void FBO::bind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, id);
}

void FBO::unbind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace GL
