#include "render/gl/Program.h"
#include "support/LogCategories.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

namespace GL {

namespace {

// The driver's log for a shader or program object, as a NUL-terminated string.
std::vector<char> infoLog(GLuint object, bool isProgram)
{
    GLint length = 0;
    if (isProgram)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(size_t(std::max(length, 1)), '\0');
    if (isProgram)
        glGetProgramInfoLog(object, length, nullptr, text.data());
    else
        glGetShaderInfoLog(object, length, nullptr, text.data());
    return text;
}

// Compiles one stage; a failure is logged with the stage's name.
GLuint compile(GLenum stage, const char *stageName, const char *source)
{
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE)
        qCWarning(lcRender, "GL %s shader failed to compile: %s", stageName, infoLog(shader, false).data());
    return shader;
}

} // namespace

Program::Program(const char *vertexSource, const char *fragmentSource)
{
    GLuint vertexShader = compile(GL_VERTEX_SHADER, "vertex", vertexSource);
    GLuint fragmentShader = compile(GL_FRAGMENT_SHADER, "fragment", fragmentSource);

    id = glCreateProgram();
    glAttachShader(id, vertexShader);
    glAttachShader(id, fragmentShader);
    glLinkProgram(id);
    GLint ok = GL_FALSE;
    glGetProgramiv(id, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE)
        qCWarning(lcRender, "GL program failed to link: %s", infoLog(id, true).data());

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
