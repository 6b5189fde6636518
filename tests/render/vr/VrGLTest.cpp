// The VR building blocks and the VR mode on a real GL context (Mesa under
// Xvfb). One executable, two CTest entries: vr_gl_test runs the VrGL cases
// with no OpenVR library on the search path, vr_simulated_test the
// VrSimulated ones with the simulated headset (tests/render/simvr) found
// through LD_LIBRARY_PATH, exactly as a user's SteamVR copy would be.
#include "common/GlTestContext.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "render/DoubleEyeScene.h"
#include "render/EyeFramebuffer.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"
#include "render/gl/FBO.h"
#include "render/gl/Texture.h"

#include "SimVRControl.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

using Rgba = std::array<uint8_t, 4>;

constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kYellow{255, 255, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255}, kMagenta{255, 0, 255, 255};

// A converted frame whose picture has regions centred on the directions they
// should be seen in: red in front (s = 0.5), green left (0.25), blue right
// (0.75), yellow behind (the seam) and a white band along the top.
class PictureFrame : public AbstractVideoFrame {
public:
    PictureFrame(int width, int height) : AbstractVideoFrame(width, height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const float s = (x + 0.5f) / width;
                const Rgba c = (y + 0.5f) / height < 0.1f  ? kWhite
                               : s < 0.125f || s >= 0.875f ? kYellow
                               : s < 0.375f                ? kGreen
                               : s < 0.625f                ? kRed
                                                           : kBlue;
                pixels.insert(pixels.end(), c.begin(), c.end());
            }
    }
    void updateTexture(FrameTexture &target) override { target.upload(pixels.data(), width, height); }
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}

    std::vector<uint8_t> pixels;
};

// Stands in for the widget's framebuffer: an RGBA texture attached to an FBO,
// left bound and cleared to magenta, which no render of the VR code produces.
struct Target {
    Target(int width, int height) : texture(nullptr, width, height, GL_RGBA, GL_RGBA)
    {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.id, 0);
        glViewport(0, 0, width, height);
        glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    Rgba pixel(int x, int y) const
    {
        Rgba c{};
        glBindFramebuffer(GL_FRAMEBUFFER, fbo.id);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c.data());
        return c;
    }
    GL::Texture texture;
    GL::FBO fbo;
};

// Level 0 of a texture, rows bottom to top as GL stores them.
struct TextureImage {
    explicit TextureImage(GLuint name)
    {
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        pixels = readTextureRgba(name, width, height);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    Rgba at(int x, int y) const
    {
        const uint8_t *p = &pixels[static_cast<size_t>((y * width + x) * 4)];
        return {p[0], p[1], p[2], p[3]};
    }
    Rgba centre() const { return at(width / 2, height / 2); }
    GLint width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

class VrGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
        slot.exchange(new PictureFrame(256, 128));
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    static GLint bound(GLenum which)
    {
        GLint name = -1;
        glGetIntegerv(which, &name);
        return name;
    }

    // Without a usable runtime the mode paints both halves black from
    // 100 x 100 eyes and leaves the widget's framebuffer bound.
    void expectBlackWithoutRuntime()
    {
        auto *runtime = new VRRuntime();
        EXPECT_EQ(runtime->getSystem(), nullptr);
        EXPECT_EQ(runtime->renderWidth(), 100);
        EXPECT_EQ(runtime->renderHeight(), 100);
        Target widget(200, 100);
        VRMode mode(runtime, &slot, 0, 0);
        mode.resize(200, 100);
        for (int paint = 0; paint < 2; ++paint) {
            glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo.id);
            mode.render();
        }
        EXPECT_EQ(bound(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(widget.fbo.id));
        for (int x = 0; x < 200; x += 9)
            for (int y = 0; y < 100; y += 9) {
                Rgba seen = widget.pixel(x, y);
                seen[3] = 255; // the clear colour's alpha is 0
                ASSERT_EQ(seen, kBlack) << x << "," << y;
            }
    }

    GlTestContext gl;
    FrameSlot slot; // destroyed first, while the context is still current
};

struct Drawable : GL::IRenderable {
    explicit Drawable(std::function<void()> draw) : draw(std::move(draw)) {}
    void render() override { draw(); }
    void resize(int, int) override {}
    std::function<void()> draw;
};

class VrSimulated : public VrGL {
protected:
    void SetUp() override
    {
        VrGL::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
        sim.reset(1);
    }

    // Paints once into widget; returns the centre of the left eye image this
    // paint submitted.
    Rgba paint(VRMode &mode, const Target &widget)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo.id);
        mode.render();
        const std::vector<SimVRSubmission> all = sim.submissions();
        return all.size() < 2 ? Rgba{} : TextureImage(all[all.size() - 2].texture).centre();
    }

    SimVRClient sim{"libopenvr_api.so"};
};

} // namespace

TEST_F(VrGL, EyeRenderIsMultisampledResolvedAndRestoresTheBoundFramebuffer)
{
    EyeFramebuffer eye(64, 48);
    Target outer(32, 32);
    GLint viewport[4] = {}, drawnInto = 0, samples = 0;
    GLboolean multisampling = GL_FALSE;
    Drawable green([&] {
        glGetIntegerv(GL_VIEWPORT, viewport);
        drawnInto = bound(GL_DRAW_FRAMEBUFFER_BINDING);
        glGetIntegerv(GL_SAMPLES, &samples);
        multisampling = glIsEnabled(GL_MULTISAMPLE);
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    });
    eye.render(green);

    EXPECT_NE(drawnInto, static_cast<GLint>(outer.fbo.id));
    EXPECT_EQ(samples, 4);
    EXPECT_TRUE(multisampling);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 48);
    EXPECT_EQ(bound(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(outer.fbo.id));
    EXPECT_EQ(bound(GL_READ_FRAMEBUFFER_BINDING), static_cast<GLint>(outer.fbo.id));
    EXPECT_FALSE(glIsEnabled(GL_MULTISAMPLE));

    const TextureImage image(eye.resolveTexture());
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 48);
    EXPECT_EQ(image.at(0, 0), kGreen);
    EXPECT_EQ(image.at(63, 47), kGreen);
    EXPECT_EQ(outer.pixel(5, 5), kMagenta) << "the outer framebuffer was drawn into";
}

TEST_F(VrGL, CompanionWindowShowsLeftEyeLeftAndRightEyeRight)
{
    // Left image: bottom row (as GL stores it) green, the rest red; right image blue.
    std::vector<uint8_t> left, right;
    for (int i = 0; i < 64; ++i) {
        left.insert(left.end(), {uint8_t(i < 8 ? 0 : 255), uint8_t(i < 8 ? 255 : 0), 0, 255});
        right.insert(right.end(), {0, 0, 255, 255});
    }
    GL::Texture leftTexture(left.data(), 8, 8, GL_RGBA, GL_RGBA);
    GL::Texture rightTexture(right.data(), 8, 8, GL_RGBA, GL_RGBA);
    Target widget(160, 80);
    DoubleEyeScene scene(leftTexture.id, rightTexture.id, 160, 80);
    glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo.id);
    scene.render();

    EXPECT_EQ(widget.pixel(40, 40), kRed);
    EXPECT_EQ(widget.pixel(0, 79), kRed);
    EXPECT_EQ(widget.pixel(40, 0), kGreen) << "v = 0 is the bottom row of an eye image";
    EXPECT_EQ(widget.pixel(120, 40), kBlue);
    EXPECT_EQ(widget.pixel(159, 79), kBlue);
    for (int x = 0; x < 160; x += 7)
        for (int y = 0; y < 80; y += 7)
            ASSERT_NE(widget.pixel(x, y), kMagenta) << "uncovered at " << x << "," << y;

    // After a resize the halves follow the new viewport.
    Target larger(320, 80);
    scene.resize(320, 80);
    scene.render();
    EXPECT_EQ(larger.pixel(150, 40), kRed);
    EXPECT_EQ(larger.pixel(170, 40), kBlue);
}

TEST_F(VrGL, WithoutRuntimeBothHalvesAreBlack)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";
    expectBlackWithoutRuntime();
}

TEST_F(VrSimulated, RuntimeWithoutTheSystemInterfaceCountsAsAbsent)
{
    {
        VRRuntime runtime;
        EXPECT_NE(runtime.getSystem(), nullptr);
    }
    EXPECT_EQ(sim.events("IS"), "IS");

    // Shut down again at once, and nothing is given to the compositor.
    sim.reset(0);
    expectBlackWithoutRuntime();
    EXPECT_EQ(sim.events("ISLRW"), "IS");
}

TEST_F(VrSimulated, EveryPaintSubmitsBothResolvedEyesThenWaits)
{
    Target widget(400, 200);
    VRMode mode(new VRRuntime(), &slot, 0, 0);
    mode.resize(400, 200);
    for (int i = 0; i < 3; ++i)
        paint(mode, widget);

    EXPECT_EQ(sim.events("LRW"), "LRWLRWLRW");
    const std::vector<SimVRSubmission> all = sim.submissions();
    ASSERT_EQ(all.size(), 6u);
    const SimVRSubmission left = all[0], right = all[1];
    EXPECT_NE(left.texture, right.texture);
    for (size_t i = 0; i < all.size(); ++i) {
        const SimVRSubmission &s = all[i];
        EXPECT_EQ(s.eye, static_cast<int>(i % 2));
        EXPECT_EQ(s.texture, i % 2 ? right.texture : left.texture);
        EXPECT_EQ(s.type, 1) << "OpenGL";
        EXPECT_EQ(s.colorSpace, 1) << "gamma";
        EXPECT_EQ(s.hadBounds, 0);
        EXPECT_EQ(s.flags, 0);
    }
    // The submitted names are the resolved eye images of the recommended
    // size, and the widget mirrors them side by side.
    for (uint32_t texture : {left.texture, right.texture}) {
        const TextureImage image(texture);
        EXPECT_EQ(image.width, 864);
        EXPECT_EQ(image.height, 960);
        EXPECT_EQ(image.centre(), kRed);
    }
    EXPECT_EQ(widget.pixel(100, 100), kRed);
    EXPECT_EQ(widget.pixel(300, 100), kRed);
}

// Each pose is fetched at the end of the paint after it is set, which still
// shows the previous picture, and used from the paint after that. Standing at
// the tracking origin or at the sphere's centre, ahead is the picture's centre.
TEST_F(VrSimulated, HeadPoseTurnsThePictureFromTheNextPaint)
{
    struct Step {
        float yaw, pitch;
        bool valid;
        Rgba expected;
        const char *what;
    };
    const Step steps[] = {
        {0, 0, 1, kRed, "ahead"},           {90, 0, 1, kGreen, "turned left"},    {-90, 0, 0, kGreen, "invalid pose"},
        {-90, 0, 1, kBlue, "turned right"}, {180, 0, 1, kYellow, "turned round"}, {0, 90, 1, kWhite, "looking up"},
        {0, 0, 1, kRed, "ahead again"},
    };
    Target widget(64, 32);
    VRMode mode(new VRRuntime(), &slot, 64, 32);
    Rgba shown = paint(mode, widget);
    EXPECT_EQ(shown, kRed) << "at the tracking origin";
    for (const Step &step : steps) {
        sim.pose(step.yaw, step.pitch, 0.0f, -1.0f, -3.0f, step.valid);
        EXPECT_EQ(paint(mode, widget), shown) << step.what << ": the pose was used before it was fetched";
        shown = paint(mode, widget);
        EXPECT_EQ(shown, step.expected) << step.what;
    }
}
