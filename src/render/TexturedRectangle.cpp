#include "render/TexturedRectangle.h"

#include "player/FrameSlot.h"
#include "render/ColourStage.h"
#include "render/gl/IBO.h"
#include "render/gl/Program.h"
#include "render/gl/VAO.h"
#include "render/gl/VBO.h"

#include <array>
#include <cstdint>

namespace {

// Clip-space corners: top left, top right, bottom right, bottom left.
const float kPositions[] = {-1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f, -1.0f, 0.0f, -1.0f, -1.0f, 0.0f};
// Texture row 0 (the top of the picture) at the top of the widget.
const float kTexCoords[] = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};
const uint32_t kIndices[] = {0, 1, 3, 1, 2, 3};

// turn takes the screen's texture coordinates, centred, to the picture's,
// so the picture shows turned and mirrored as its file says.
const char *const kVertexSource = "#version 330 core\n"
                                  "in vec3 Vertice;\n"
                                  "in vec2 VertTexCoord;\n"
                                  "uniform mat2 turn;\n"
                                  "out vec2 fragTexCoord;\n"
                                  "\n"
                                  "void main() {\n"
                                  "\tfragTexCoord = turn * (VertTexCoord - vec2(0.5)) + vec2(0.5);\n"
                                  "\tgl_Position.xyz = Vertice;\n"
                                  "\tgl_Position.w = 1.0;\n"
                                  "}\n";

const char *const kFragmentBody = "uniform sampler2D tex;\n"
                                  "in vec2 fragTexCoord;\n"
                                  "out vec4 finalColor;\n"
                                  "\n"
                                  "void main() {\n"
                                  "\tvec4 texel = texture(tex, fragTexCoord);\n"
                                  "\tfinalColor = vec4(displayColour(texel.rgb), texel.a);\n"
                                  "}\n";

} // namespace

TexturedRectangle::TexturedRectangle(FrameSlot *frameSlot)
    : vao(new GL::VAO()), positions(new GL::VBO(kPositions, sizeof(kPositions))),
      texCoords(new GL::VBO(kTexCoords, sizeof(kTexCoords))),
      indices(new GL::IBO(kIndices, sizeof(kIndices), 6)), program(new GL::Program(kVertexSource, ColourStage::fragmentSource("#version 330 core\n", kFragmentBody).c_str())),
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
    GLuint tex = frameSlot->currentTexture(texture, &colour);
    const std::array<float, 4> sampling = frameSlot->currentTurn().sampling();

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
    glUniformMatrix2fv(glGetUniformLocation(program->id, "turn"), 1, GL_FALSE, sampling.data());
    ColourStage::apply(program->id, colour);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);

    glDrawElements(GL_TRIANGLES, indices->count, GL_UNSIGNED_INT, nullptr);
}

void TexturedRectangle::resize(int, int)
{
}
