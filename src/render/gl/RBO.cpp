#include "render/gl/RBO.h"

namespace GL {

RBO::RBO()
{
    glGenRenderbuffers(1, &id);
    glBindRenderbuffer(GL_RENDERBUFFER, id);
}

RBO::~RBO()
{
    glDeleteRenderbuffers(1, &id);
}

void RBO::bind()
{
    glBindRenderbuffer(GL_RENDERBUFFER, id);
}

void RBO::unbind()
{
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
}

} // namespace GL
