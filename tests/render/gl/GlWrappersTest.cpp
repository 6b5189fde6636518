// The GL wrappers in a real context (Mesa under Xvfb): a broken shader is
// reported by its stage with the driver's log, and every wrapper gives its GL
// name back. That they draw is shown by the flat and VR mode suites.
#include "common/GlTestContext.h"
#include "common/TestSupport.h"
#include "render/gl/FBO.h"
#include "render/gl/IBO.h"
#include "render/gl/MultisampleTexture.h"
#include "render/gl/Program.h"
#include "render/gl/RBO.h"
#include "render/gl/Texture.h"
#include "render/gl/VAO.h"
#include "render/gl/VBO.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

const char *const kVertex = "#version 330 core\nin vec3 position;\n"
                            "void main() { gl_Position = vec4(position, 1.0); }\n";

TEST(GlWrappers, ProgramReportsTheShaderThatFailsToCompile)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
    MessageCapture capture;
    GL::Program broken(kVertex, "#version 330 core\nout vec4 result;\nvoid main() { result = }\n");
    std::vector<QString> warnings;
    for (const MessageCapture::Message &m : capture.messages())
        if (m.type == QtWarningMsg)
            warnings.push_back(m.text);
    ASSERT_EQ(warnings.size(), 2u);
    const QString compile = "GL fragment shader failed to compile: ";
    EXPECT_TRUE(warnings[0].startsWith(compile) && warnings[0].size() > compile.size()) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[1].startsWith("GL program failed to link")) << warnings[1].toStdString();
}

TEST(GlWrappers, EveryWrapperGivesItsNameBack)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
    const uint32_t data[] = {0, 1, 2};
    std::vector<std::pair<GLuint, PFNGLISBUFFERPROC>> names;
    {
        GL::Texture texture(nullptr, 4, 4, GL_RGBA, GL_RGBA);
        GL::MultisampleTexture multisample;
        GL::VAO vao;
        GL::VBO vbo(data, sizeof(data));
        GL::IBO ibo(data, sizeof(data), 3);
        GL::FBO fbo;
        GL::RBO rbo;
        GL::Program program(kVertex, "#version 330 core\nout vec4 result;\nvoid main() { result = vec4(1.0); }\n");
        GLint shaders = -1;
        glGetProgramiv(program.id, GL_ATTACHED_SHADERS, &shaders);
        EXPECT_EQ(shaders, 0) << "the shaders outlive the link";
        names = {{texture.id, glIsTexture}, {multisample.id, glIsTexture}, {vao.id, glIsVertexArray},
                 {vbo.id, glIsBuffer},      {ibo.buffer, glIsBuffer},      {fbo.id, glIsFramebuffer},
                 {rbo.id, glIsRenderbuffer}, {program.id, glIsProgram}};
        for (size_t i = 0; i < names.size(); ++i)
            ASSERT_TRUE(names[i].second(names[i].first)) << "wrapper " << i << " has no GL object";
        vao.unbind();
    }
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_FALSE(names[i].second(names[i].first)) << "wrapper " << i << " leaked its name";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
