#include "render/gl/VAO.h"

namespace GL {

VAO::VAO()
{
    glGenVertexArrays(1, &id);
    glBindVertexArray(id);
}

VAO::~VAO()
{
    glDeleteVertexArrays(1, &id);
}

void VAO::bind()
{
    glBindVertexArray(id);
}

void VAO::unbind()
{
    glBindVertexArray(0);
}

} // namespace GL
