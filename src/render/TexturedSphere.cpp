#include "render/TexturedSphere.h"

#include "render/ColourStage.h"
#include "render/SphereMesh.h"
#include "render/gl/IBO.h"
#include "render/gl/Program.h"
#include "render/gl/VBO.h"

#include <cstdint>

namespace {

// x is mirrored before the matrix so that the picture, seen from inside the
// sphere, reads the right way round; alpha is ignored. textureWindow selects
// one eye's half of a stereoscopic picture.
const char *const kVertexSource =
    "\n\t\t#version 110\n\t\tuniform mat4 matrixModelViewProjection;\n\t\tuniform vec4 textureWindow;\n"
    "\t\tattribute vec3 vertexPosition;\n"
    "\t\tattribute vec2 vertexTexCoord;\n\t\tvarying vec2 texCoord;\n\t\tvoid main()\n\t\t{\n"
    "\t\t\ttexCoord = vertexTexCoord * textureWindow.xy + textureWindow.zw;\n"
    "\t\t\tgl_Position = matrixModelViewProjection * vec4(vec3(-vertexPosition.x, vertexPosition.y, "
    "vertexPosition.z), 1.0);\n\t\t}\n\t";
const char *const kFragmentBody =
    "\t\tuniform sampler2D map;\n\t\tvarying vec2 texCoord;\n\t\tvoid main()\n\t\t{\n"
    "\t\t\tvec3 color = displayColour(texture2D(map, texCoord).rgb);\n\t\t\tgl_FragColor = vec4(color, 1);\n\t\t}\n\t";

} // namespace

TexturedSphere::TexturedSphere(float radius, int sectors, int stacks)
{
    mesh = new SphereMesh(radius, sectors, stacks);
    program = new GL::Program(kVertexSource, ColourStage::fragmentSource("\n\t\t#version 110\n", kFragmentBody).c_str());
    vbo = new GL::VBO(mesh->getInterleavedVertices().data(), mesh->getInterleavedVertexSize());
    ibo = new GL::IBO(mesh->getIndices().data(), mesh->getIndexSize(), mesh->getIndexCount());
}

TexturedSphere::~TexturedSphere()
{
    delete program;
    delete vbo;
    delete ibo;
    delete mesh;
}

void TexturedSphere::render()
{
    if (!mvp)
        return;
    program->bind();
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLint locPosition = glGetAttribLocation(program->id, "vertexPosition");
    const GLint locTexCoord = glGetAttribLocation(program->id, "vertexTexCoord");
    glUniform1i(glGetUniformLocation(program->id, "map"), 0);
    glUniform4fv(glGetUniformLocation(program->id, "textureWindow"), 1, textureWindow.data());
    ColourStage::apply(program->id, colour);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    glEnableVertexAttribArray(static_cast<GLuint>(locPosition));
    glEnableVertexAttribArray(static_cast<GLuint>(locTexCoord));
    ibo->bind();
    vbo->bind();
    const GLsizei stride = mesh->getInterleavedStride();
    // The normals at byte 12 are not used by the shaders.
    glVertexAttribPointer(static_cast<GLuint>(locPosition), 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    glVertexAttribPointer(static_cast<GLuint>(locTexCoord), 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void *>(static_cast<uintptr_t>(24)));
    glUniformMatrix4fv(glGetUniformLocation(program->id, "matrixModelViewProjection"), 1, GL_FALSE, mvp);
    glDrawElements(GL_TRIANGLES, ibo->count, GL_UNSIGNED_INT, nullptr);

    glDisableVertexAttribArray(static_cast<GLuint>(locPosition));
    glDisableVertexAttribArray(static_cast<GLuint>(locTexCoord));
    glBindTexture(GL_TEXTURE_2D, 0);
    vbo->unbind();
    ibo->unbind();
    program->unbind();
}

void TexturedSphere::resize(int, int)
{
}
