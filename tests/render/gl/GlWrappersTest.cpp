// A broken shader is reported by its stage with the driver's log (Mesa under
// Xvfb). That the GL wrappers draw is shown by the flat and VR mode suites.
#include "common/GlTestContext.h"
#include "common/TestSupport.h"
#include "render/gl/Program.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(GlWrappers, ProgramReportsTheShaderThatFailsToCompile)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
    MessageCapture capture;
    GL::Program broken("#version 330 core\nvoid main() { gl_Position = vec4(1.0); }\n",
                       "#version 330 core\nout vec4 result;\nvoid main() { result = }\n");
    std::vector<QString> warnings;
    for (const MessageCapture::Message &m : capture.messages())
        if (m.type == QtWarningMsg)
            warnings.push_back(m.text);
    ASSERT_EQ(warnings.size(), 2u);
    const QString compile = "GL fragment shader failed to compile: ";
    EXPECT_TRUE(warnings[0].startsWith(compile) && warnings[0].size() > compile.size()) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[1].startsWith("GL program failed to link")) << warnings[1].toStdString();
}

} // namespace
