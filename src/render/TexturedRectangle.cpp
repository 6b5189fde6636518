#include "render/TexturedRectangle.h"

#include "player/FrameSlot.h"
#include "render/gl/IBO.h"
#include "render/gl/Program.h"
#include "render/gl/VAO.h"
#include "render/gl/VBO.h"

#include <cstdint>

namespace {

// Clip-space corners: top left, top right, bottom right, bottom left.
const float kPositions[] = {-1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f, -1.0f, 0.0f, -1.0f, -1.0f, 0.0f};
// Texture row 0 (the top of the picture) at the top of the widget.
const float kTexCoords[] = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
const uint32_t kIndices[] = {0, 1, 3, 1, 2, 3};

const char *const kVertexSource = "#version 330 core\n"
                                  "in vec3 Vertice;\n"
                                  "in vec2 VertTexCoord;\n"
                                  "out vec2 fragTexCoord;\n"
                                  "\n"
                                  "void main() {\n"
                                  "\tfragTexCoord = VertTexCoord;\n"
                                  "\tgl_Position.xyz = Vertice;\n"
                                  "\tgl_Position.w = 1.0;\n"
                                  "}\n";

const char *const kFragmentSource = "#version 330 core\n"
                                    "uniform sampler2D tex;\n"
                                    "in vec2 fragTexCoord;\n"
                                    "out vec4 finalColor;\n"
                                    "\n"
                                    "void main() {\n"
                                    "\tfinalColor = texture(tex, fragTexCoord);\n"
                                    "}\n";

} // namespace

TexturedRectangle::TexturedRectangle(FrameSlot *frameSlot)
    : vao(new GL::VAO()), positions(new GL::VBO(kPositions, sizeof(kPositions))),
      texCoords(new GL::VBO(kTexCoords, sizeof(kTexCoords))),
      indices(new GL::IBO(kIndices, sizeof(kIndices), 6)), program(new GL::Program(kVertexSource, kFragmentSource)),
      frameSlot(frameSlot)
{
    glEnable(GL_TEXTURE_2D);
}

TexturedRectangle::~TexturedRectangle()
{
    delete program;
    delete vao;
    delete positions;
    delete texCoords;
    delete indices;
}

void TexturedRectangle::render()
{
    GLuint tex = frameSlot->currentTexture(texture);

    program->bind();
    indices->bind();
    positions->bind();
    // The attribute state is given anew on every paint, on whatever vertex
    // array object is bound at the time.
    GLint loc = glGetAttribLocation(program->id, "Vertice");
    glEnableVertexAttribArray(loc);
    glVertexAttribPointer(loc, 3, GL_FLOAT, GL_FALSE, 0, nullptr);

    texCoords->bind();
    loc = glGetAttribLocation(program->id, "VertTexCoord");
    glEnableVertexAttribArray(loc);
    glVertexAttribPointer(loc, 2, GL_FLOAT, GL_FALSE, 0, nullptr);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, tex);
    glUniform1i(glGetUniformLocation(program->id, "tex"), 0);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);

    glDrawElements(GL_TRIANGLES, indices->count, GL_UNSIGNED_INT, nullptr);
}

void TexturedRectangle::resize(int, int)
{
}
