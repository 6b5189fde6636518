// The GL wrappers in a real context (Mesa under Xvfb): the bindings each
// constructor leaves, texture storage and respecification, and a program,
// buffers and framebuffer objects that together really draw, and a broken
// shader reported by stage.
#include "common/GlTestContext.h"
#include "render/gl/FBO.h"
#include "render/gl/IBO.h"
#include "render/gl/MultisampleTexture.h"
#include "render/gl/Program.h"
#include "render/gl/RBO.h"
#include "render/gl/Texture.h"
#include "render/gl/VAO.h"
#include "render/gl/VBO.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

GLint getInt(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

GLint texLevelParam(GLenum name)
{
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

const char *const kVertex = "#version 330 core\nin vec3 position;\n"
                            "void main() { gl_Position = vec4(position, 1.0); }\n";
const char *const kFragment = "#version 330 core\nuniform vec4 colour;\nout vec4 result;\n"
                              "void main() { result = colour; }\n";

class GlWrappers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)"; }
    void TearDown() override { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }

    // Draws the two triangles of a full-viewport quad with a solid colour.
    void drawQuad(float r, float g, float b, float a)
    {
        const float positions[] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
        const uint32_t indices[] = {0, 1, 3, 1, 2, 3};
        GL::VAO vao;
        GL::VBO vbo(positions, sizeof(positions));
        GL::IBO ibo(indices, sizeof(indices), 6);
        GL::Program program(kVertex, kFragment);
        program.bind();
        GLint loc = glGetAttribLocation(program.id, "position");
        ASSERT_GE(loc, 0);
        glEnableVertexAttribArray(loc);
        glVertexAttribPointer(loc, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        glUniform4f(glGetUniformLocation(program.id, "colour"), r, g, b, a);
        glDrawElements(GL_TRIANGLES, ibo.count, GL_UNSIGNED_INT, nullptr);
        program.unbind();
        vao.unbind();
    }

    GlTestContext gl;
};

TEST_F(GlWrappers, TextureIsAllocatedBoundAndRespecifiedByUpdate)
{
    auto texture = std::make_unique<GL::Texture>(nullptr, 16, 8, GL_RGBA, GL_RGBA);
    ASSERT_NE(texture->id, 0u);
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D), GLint(texture->id));
    EXPECT_EQ(texLevelParam(GL_TEXTURE_WIDTH), 16);
    EXPECT_EQ(texLevelParam(GL_TEXTURE_HEIGHT), 8);
    GLint filter = 0, wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);

    // A different size reallocates; the pixels land as given, row by row.
    std::vector<uint8_t> pixels(3 * 2 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 7 + 1);
    texture->unbind();
    texture->update(pixels.data(), 3, 2);
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D), GLint(texture->id));
    EXPECT_EQ(texLevelParam(GL_TEXTURE_WIDTH), 3);
    EXPECT_EQ(texLevelParam(GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(readTextureRgba(texture->id, 3, 2), pixels);

    // Same size again: a second upload replaces the contents.
    std::vector<uint8_t> other(pixels.rbegin(), pixels.rend());
    texture->update(other.data(), 3, 2);
    EXPECT_EQ(readTextureRgba(texture->id, 3, 2), other);

    GLuint name = texture->id;
    texture.reset();
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(GlWrappers, BuffersAreFilledAndLeftBound)
{
    GL::VAO vao;
    EXPECT_EQ(getInt(GL_VERTEX_ARRAY_BINDING), GLint(vao.id));

    GLuint vboName = 0, iboName = 0;
    {
        // The data only has to live through construction.
        auto values = std::make_unique<std::vector<float>>(std::vector<float>{1.5f, -2.0f, 3.25f});
        GL::VBO vbo(values->data(), int(values->size() * sizeof(float)));
        auto indices = std::make_unique<std::vector<uint32_t>>(std::vector<uint32_t>{0, 1, 2, 2, 3, 0});
        GL::IBO ibo(indices->data(), int(indices->size() * sizeof(uint32_t)), 6);
        std::vector<float> expectedValues = *values;
        std::vector<uint32_t> expectedIndices = *indices;
        values.reset();
        indices.reset();

        vboName = vbo.id;
        iboName = ibo.buffer;
        EXPECT_NE(vboName, 0u);
        EXPECT_NE(iboName, 0u);
        EXPECT_EQ(ibo.id, 0u);
        EXPECT_EQ(ibo.count, 6);
        EXPECT_EQ(getInt(GL_ARRAY_BUFFER_BINDING), GLint(vboName));
        EXPECT_EQ(getInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), GLint(iboName));

        std::vector<float> storedValues(3);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, 12, storedValues.data());
        EXPECT_EQ(storedValues, expectedValues);
        std::vector<uint32_t> storedIndices(6);
        glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, 24, storedIndices.data());
        EXPECT_EQ(storedIndices, expectedIndices);

        // The element binding belongs to the vertex array object.
        GL::VAO other;
        EXPECT_EQ(getInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
        vao.bind();
        EXPECT_EQ(getInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), GLint(iboName));
        ibo.unbind();
        EXPECT_EQ(getInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
        ibo.bind();
        EXPECT_EQ(getInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), GLint(iboName));
        vbo.unbind();
        EXPECT_EQ(getInt(GL_ARRAY_BUFFER_BINDING), 0);
        vbo.bind();
        EXPECT_EQ(getInt(GL_ARRAY_BUFFER_BINDING), GLint(vboName));
        vao.bind();
    }
    EXPECT_FALSE(glIsBuffer(vboName));
    EXPECT_FALSE(glIsBuffer(iboName));
    vao.unbind();
    EXPECT_EQ(getInt(GL_VERTEX_ARRAY_BINDING), 0);
}

TEST_F(GlWrappers, ProgramKeepsNoShadersAndDrawsIntoTextureTarget)
{
    GLuint programName = 0;
    {
        GL::Program program(kVertex, kFragment);
        programName = program.id;
        GLint linked = GL_FALSE, attached = -1;
        glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
        glGetProgramiv(program.id, GL_ATTACHED_SHADERS, &attached);
        EXPECT_EQ(linked, GL_TRUE);
        EXPECT_EQ(attached, 0);
        program.bind();
        EXPECT_EQ(getInt(GL_CURRENT_PROGRAM), GLint(program.id));
        program.unbind();
        EXPECT_EQ(getInt(GL_CURRENT_PROGRAM), 0);
    }
    EXPECT_FALSE(glIsProgram(programName));

    GL::Texture target(nullptr, 8, 8, GL_RGBA, GL_RGBA);
    GL::FBO fbo;
    EXPECT_EQ(getInt(GL_FRAMEBUFFER_BINDING), GLint(fbo.id));
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.id, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, 8, 8);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawQuad(1.0f, 0.5f, 0.0f, 1.0f);
    std::vector<uint8_t> pixels = readPixelsRgba(0, 0, 8, 8);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 255) << "pixel " << i / 4;
        ASSERT_NEAR(pixels[i + 1], 128, 1) << "pixel " << i / 4;
        ASSERT_EQ(pixels[i + 2], 0) << "pixel " << i / 4;
    }
    fbo.unbind();
    EXPECT_EQ(getInt(GL_FRAMEBUFFER_BINDING), 0);
}

TEST_F(GlWrappers, ProgramReportsTheShaderThatFailsToCompile)
{
    static QStringList warnings;
    warnings.clear();
    QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
              if (type == QtWarningMsg)
                  warnings << text;
          });
    GL::Program broken(kVertex, "#version 330 core\nout vec4 result;\nvoid main() { result = }\n");
    qInstallMessageHandler(previous);
    ASSERT_FALSE(warnings.isEmpty());
    EXPECT_TRUE(warnings.first().startsWith("GL fragment shader failed to compile: "))
        << warnings.first().toStdString();
    EXPECT_TRUE(warnings.last().startsWith("GL program failed to link")) << warnings.last().toStdString();
}

TEST_F(GlWrappers, MultisampleTargetResolvesIntoRenderbufferTarget)
{
    GL::RBO rbo;
    EXPECT_EQ(getInt(GL_RENDERBUFFER_BINDING), GLint(rbo.id));
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 4, 4);

    GL::MultisampleTexture ms;
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D_MULTISAMPLE), GLint(ms.id));
    glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, 4, GL_RGBA8, 4, 4, GL_TRUE);
    ms.unbind();
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D_MULTISAMPLE), 0);

    GL::FBO resolved;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rbo.id);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    GL::FBO multisampled;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, ms.id, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));

    glViewport(0, 0, 4, 4);
    drawQuad(0.0f, 0.0f, 1.0f, 1.0f);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, multisampled.id);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved.id);
    glBlitFramebuffer(0, 0, 4, 4, 0, 0, 4, 4, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    resolved.bind();
    std::vector<uint8_t> pixels = readPixelsRgba(0, 0, 4, 4);
    for (size_t i = 0; i < pixels.size(); i += 4)
        ASSERT_EQ((std::vector<uint8_t>(pixels.begin() + i, pixels.begin() + i + 4)),
                  (std::vector<uint8_t>{0, 0, 255, 255}))
            << "pixel " << i / 4;
    resolved.unbind();
    rbo.unbind();
    EXPECT_EQ(getInt(GL_RENDERBUFFER_BINDING), 0);
}

} // namespace
