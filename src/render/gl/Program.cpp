#include "render/gl/Program.h"

namespace GL {

Program::Program(const char *vertexSource, const char *fragmentSource)
{
    GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);

    glShaderSource(vertexShader, 1, &vertexSource, nullptr);
    glCompileShader(vertexShader);
    glShaderSource(fragmentShader, 1, &fragmentSource, nullptr);
    glCompileShader(fragmentShader);

    id = glCreateProgram();
    glAttachShader(id, vertexShader);
    glAttachShader(id, fragmentShader);
    glLinkProgram(id);

    // The linked program keeps the code; dropping the shaders now leaves the
    // program as the only owner.
    glDetachShader(id, vertexShader);
    glDetachShader(id, fragmentShader);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
}

Program::~Program()
{
    // Released with the wrapper rather than left until the context dies: the
    // engine creates a mode per engine, and a host may create many engines on
    // one widget thread.
    glDeleteProgram(id);
}

void Program::bind()
{
    glUseProgram(id);
}

void Program::unbind()
{
    glUseProgram(0);
}

} // namespace GL
