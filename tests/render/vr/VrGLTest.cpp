// The VR building blocks on a real GL context (Mesa under Xvfb), and the VR
// mode without any OpenVR library on the search path.
#include "VrTestSupport.h"

#include "player/FrameSlot.h"
#include "render/DoubleEyeScene.h"
#include "render/EyeFramebuffer.h"
#include "render/TexturedSphere.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"

#include <dlfcn.h>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <functional>

using namespace vrtest;

namespace {

class Drawable : public GL::IRenderable {
public:
    explicit Drawable(std::function<void()> draw) : draw(std::move(draw)) {}
    void render() override { draw(); }
    void resize(int, int) override {}
    std::function<void()> draw;
};

class VrGL : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.ok) << "no GL context (is DISPLAY set?)"; }
    GLContext gl;
};

GLint boundFramebuffer(GLenum which)
{
    GLint name = -1;
    glGetIntegerv(which, &name);
    return name;
}

} // namespace

TEST_F(VrGL, EyeRenderResolvesAndRestoresTheBoundFramebuffer)
{
    EyeFramebuffer eye(64, 48);
    Target outer(32, 32);
    glBindFramebuffer(GL_FRAMEBUFFER, outer.fbo->id);

    GLint viewport[4] = {};
    GLint drawnInto = 0;
    GLboolean multisampling = GL_FALSE;
    Drawable green([&] {
        glGetIntegerv(GL_VIEWPORT, viewport);
        drawnInto = boundFramebuffer(GL_DRAW_FRAMEBUFFER_BINDING);
        multisampling = glIsEnabled(GL_MULTISAMPLE);
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    });
    eye.render(green);

    EXPECT_EQ(boundFramebuffer(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(outer.fbo->id));
    EXPECT_EQ(boundFramebuffer(GL_READ_FRAMEBUFFER_BINDING), static_cast<GLint>(outer.fbo->id));
    EXPECT_FALSE(glIsEnabled(GL_MULTISAMPLE));
    EXPECT_TRUE(multisampling);
    EXPECT_NE(drawnInto, static_cast<GLint>(outer.fbo->id));
    EXPECT_NE(drawnInto, 0);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 48);
    GLint samples = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(drawnInto));
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(samples, 4);
    glBindFramebuffer(GL_FRAMEBUFFER, outer.fbo->id);

    const TextureImage image = readTexture(eye.resolveTexture());
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 48);
    EXPECT_EQ(image.at(0, 0), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(image.at(63, 47), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(outer.pixel(5, 5), (Rgba{255, 0, 255, 255})) << "the outer framebuffer was drawn into";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(VrGL, CompanionWindowShowsLeftEyeLeftAndRightEyeRight)
{
    // Left image: bottom row (as GL stores it) green, the rest red; right image blue.
    std::vector<uint8_t> left(8 * 8 * 4), right(8 * 8 * 4);
    for (int i = 0; i < 64; ++i) {
        const bool bottom = i < 8;
        left[i * 4 + 0] = bottom ? 0 : 255;
        left[i * 4 + 1] = bottom ? 255 : 0;
        left[i * 4 + 3] = 255;
        right[i * 4 + 2] = 255;
        right[i * 4 + 3] = 255;
    }
    GL::Texture leftTexture(left.data(), 8, 8, GL_RGBA, GL_RGBA);
    GL::Texture rightTexture(right.data(), 8, 8, GL_RGBA, GL_RGBA);
    Target widget(160, 80);

    DoubleEyeScene scene(leftTexture.id, rightTexture.id, 160, 80);
    glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo->id);
    scene.render();

    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
    EXPECT_EQ(widget.pixel(40, 40), red);
    EXPECT_EQ(widget.pixel(0, 79), red);
    EXPECT_EQ(widget.pixel(40, 0), green) << "v = 0 is the bottom row of an eye image";
    EXPECT_EQ(widget.pixel(120, 40), blue);
    EXPECT_EQ(widget.pixel(159, 0), blue);
    EXPECT_EQ(widget.pixel(159, 79), blue);
    // Both halves together cover the widget: nothing of the clear colour is left.
    for (int x = 0; x < 160; x += 7)
        for (int y = 0; y < 80; y += 7)
            ASSERT_NE(widget.pixel(x, y), (Rgba{255, 0, 255, 255})) << x << "," << y;

    // After resize the halves follow the new viewport.
    Target larger(320, 80);
    scene.resize(320, 80);
    glBindFramebuffer(GL_FRAMEBUFFER, larger.fbo->id);
    scene.render();
    EXPECT_EQ(larger.pixel(150, 40), red);
    EXPECT_EQ(larger.pixel(170, 40), blue);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(VrGL, SphereDrawsNothingBeforeAMatrixIsSet)
{
    FrameSlot slot;
    auto *frame = new PictureFrame(64, 32, equirectPicture(64, 32));
    slot.exchange(frame);
    TexturedSphere sphere(5.0f, 32, 16, &slot);
    Target target(40, 40);
    glBindFramebuffer(GL_FRAMEBUFFER, target.fbo->id);

    sphere.render();
    EXPECT_EQ(frame->uploads, 0) << "the frame slot was read";
    EXPECT_EQ(target.pixel(20, 20), (Rgba{255, 0, 255, 255})) << "something was drawn or cleared";

    // From the centre, looking along -x in mesh space.
    const glm::mat4 view = glm::perspective(1.5707964f, 1.0f, 0.1f, 10.0f) *
                           glm::lookAt(glm::vec3(0.0f), glm::vec3(-1, 0, 0), glm::vec3(0, 0, 1));
    sphere.setMatrix(glm::value_ptr(view));
    sphere.render();
    EXPECT_EQ(frame->uploads, 1);
    EXPECT_NE(target.pixel(20, 20), (Rgba{255, 0, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(VrGL, WithoutRuntimeBothHalvesAreBlack)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";

    FrameSlot slot;
    slot.exchange(new PictureFrame(256, 128, equirectPicture(256, 128)));
    Target widget(200, 100);
    {
        VRMode mode(new VRRuntime(), &slot, 0, 0);
        mode.resize(200, 100);
        for (int paint = 0; paint < 2; ++paint) {
            glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo->id);
            mode.render();
        }
        EXPECT_EQ(boundFramebuffer(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(widget.fbo->id));
    }
    for (int x = 0; x < 200; x += 9)
        for (int y = 0; y < 100; y += 9)
            ASSERT_EQ(opaque(widget.pixel(x, y)), kBlack) << x << "," << y;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
