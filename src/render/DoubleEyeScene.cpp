#include "render/DoubleEyeScene.h"

#include "render/gl/IBO.h"
#include "render/gl/Program.h"
#include "render/gl/VAO.h"
#include "render/gl/VBO.h"

#include <cstdint>
#include <vector>

namespace {

const char *const kVertexSource = "#version 410 core\n"
                                  "layout(location = 0) in vec4 position;\n"
                                  "layout(location = 1) in vec2 v2UVIn;\n"
                                  "noperspective out vec2 v2UV;\n"
                                  "void main()\n"
                                  "{\n"
                                  "\tv2UV = v2UVIn;\n"
                                  "\tgl_Position = position;\n"
                                  "}\n";
const char *const kFragmentSource = "#version 410 core\n"
                                    "uniform sampler2D mytexture;\n"
                                    "noperspective in vec2 v2UV;\n"
                                    "out vec4 outputColor;\n"
                                    "void main()\n"
                                    "{\n"
                                    "\t\toutputColor = texture(mytexture, v2UV);\n"
                                    "}\n";

} // namespace

DoubleEyeScene::DoubleEyeScene(GLuint leftTexture, GLuint rightTexture, int width, int height)
    : width(width), height(height), leftTexture(leftTexture), rightTexture(rightTexture)
{
    vao = new GL::VAO();
    program = new GL::Program(kVertexSource, kFragmentSource);

    // x, y in clip space, then u, v; v = 0 is the bottom row of an eye image
    // as GL rendered it.
    std::vector<float> vertexData = {
        -1, -1, 0, 0, //
        0,  -1, 1, 0, //
        -1, 1,  0, 1, //
        0,  1,  1, 1, //
        0,  -1, 0, 0, //
        1,  -1, 1, 0, //
        0,  1,  0, 1, //
        1,  1,  1, 1, //
    };
    std::vector<uint16_t> indexData = {0, 1, 3, 0, 3, 2, 4, 5, 7, 4, 7, 6};
    indexCount = 12;

    vao->bind();
    vertices = new GL::VBO(vertexData.data(), static_cast<int>(vertexData.size() * sizeof(float)));
    indices = new GL::IBO(indexData.data(), static_cast<int>(indexCount * sizeof(uint16_t)),
                          static_cast<int>(indexCount));

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void *>(static_cast<uintptr_t>(8)));

    vao->unbind();
    glDisableVertexAttribArray(0);
    glDisableVertexAttribArray(1);
    vertices->unbind();
    indices->unbind();
}

DoubleEyeScene::~DoubleEyeScene()
{
    delete program;
    delete indices;
    delete vertices;
    delete vao;
}

void DoubleEyeScene::render()
{
    vao->bind();
    program->bind();
    glViewport(0, 0, width, height);

    const GLsizei half = static_cast<GLsizei>(indexCount / 2);
    glBindTexture(GL_TEXTURE_2D, leftTexture);
    glDrawElements(GL_TRIANGLES, half, GL_UNSIGNED_SHORT, nullptr);
    // The right half starts at the seventh index: indexCount bytes in.
    glBindTexture(GL_TEXTURE_2D, rightTexture);
    glDrawElements(GL_TRIANGLES, half, GL_UNSIGNED_SHORT,
                   reinterpret_cast<const void *>(static_cast<uintptr_t>(indexCount)));

    program->unbind();
    vao->unbind();
}

void DoubleEyeScene::resize(int width, int height)
{
    this->width = width;
    this->height = height;
}
