#include "render/gl/IBO.h"

namespace GL {

IBO::IBO(const void *data, int sizeBytes, int count) : data(data), size(sizeBytes), count(count)
{
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(size), data, GL_STATIC_DRAW);
}

IBO::~IBO()
{
    glDeleteBuffers(1, &buffer);
}

void IBO::bind()
{
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
}

void IBO::unbind()
{
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

} // namespace GL
