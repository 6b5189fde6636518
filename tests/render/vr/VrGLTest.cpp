// The VR building blocks and the VR mode on a real GL context (Mesa under
// Xvfb). One executable, two CTest entries: vr_gl_test runs the VrGL cases
// with no OpenVR library on the search path, vr_simulated_test the
// VrSimulated ones with the simulated headset (tests/render/simvr) found
// through LD_LIBRARY_PATH, exactly as a user's SteamVR copy would be.
#include "common/GlTestContext.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/StereoLayout.h"
#include "render/AbstractInputHandler.h"
#include "render/DoubleEyeScene.h"
#include "render/EyeFramebuffer.h"
#include "render/ModeFactory.h"
#include "render/NormalMode.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"
#include "render/gl/FBO.h"
#include "render/gl/Texture.h"

#include "SimVRControl.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Rgba = std::array<uint8_t, 4>;

constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kYellow{255, 255, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255}, kMagenta{255, 0, 255, 255};

// A converted frame painted by a function of the texture coordinates s, t
// (t = 0 is the top row).
class PictureFrame : public AbstractVideoFrame {
public:
    PictureFrame(int width, int height, const std::function<Rgba(float, float)> &paint)
        : AbstractVideoFrame(width, height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgba c = paint((x + 0.5f) / width, (y + 0.5f) / height);
                pixels.insert(pixels.end(), c.begin(), c.end());
            }
    }
    void updateTexture(FrameTexture &target) override { target.upload(pixels.data(), width, height); }
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}

    std::vector<uint8_t> pixels;
};

// Regions centred on the directions they should be seen in: red in front
// (s = 0.5), green left (0.25), blue right (0.75), yellow behind (the seam)
// and a white band along the top.
Rgba horizon(float s, float t)
{
    return t < 0.1f                    ? kWhite
           : s < 0.125f || s >= 0.875f ? kYellow
           : s < 0.375f                ? kGreen
           : s < 0.625f                ? kRed
                                       : kBlue;
}

// Mouse input as the widget dispatches it.
struct Input : AbstractInputHandler {
    void drag(float dx, float dy)
    {
        mousePressed(100, 50);
        mouseMoved(100 + dx, 50 + dy, dx, dy);
        mouseReleased(100 + dx, 50 + dy);
    }
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
        slot.exchange(new PictureFrame(256, 128, horizon));
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    static GLint bound(GLenum which)
    {
        GLint name = -1;
        glGetIntegerv(which, &name);
        return name;
    }

    // Paints mode once into widget, which stays bound.
    static void paintInto(AbstractMode &mode, const Target &widget)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo.id);
        mode.render();
    }

    // Without a usable runtime the mode paints one view over the whole
    // widget, straight ahead, from the fallback 100 x 100 geometry.
    void expectDesktopViewWithoutRuntime()
    {
        auto *runtime = new VRRuntime();
        EXPECT_EQ(runtime->getSystem(), nullptr);
        EXPECT_EQ(runtime->renderWidth(), 100);
        EXPECT_EQ(runtime->renderHeight(), 100);
        Target widget(200, 100);
        VRMode mode(runtime, &slot, 0, 0);
        mode.resize(200, 100);
        paintInto(mode, widget);
        EXPECT_EQ(bound(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(widget.fbo.id));
        EXPECT_EQ(widget.pixel(100, 50), kRed) << "ahead";
        EXPECT_EQ(widget.pixel(4, 50), kGreen) << "left";
        EXPECT_EQ(widget.pixel(195, 50), kBlue) << "right";
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

TEST_F(VrGL, WithoutRuntimeTheMouseTurnsAndZoomsOneView)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";
    expectDesktopViewWithoutRuntime();

    Input input;
    Target widget(200, 100);
    std::unique_ptr<AbstractMode> mode(createMode(&input, 1, &slot, 0, 0));
    mode->resize(200, 100);
    struct View {
        Rgba left, centre, right, top, bottom;
    };
    auto look = [&] {
        paintInto(*mode, widget);
        return View{widget.pixel(4, 50), widget.pixel(100, 50), widget.pixel(195, 50), widget.pixel(100, 98),
                    widget.pixel(100, 1)};
    };
    // 4 pixels of drag per degree; the picture moves with the pointer.
    struct Step {
        float dx, dy;
        Rgba left, centre, right;
        const char *what;
    };
    const Step steps[] = {
        {0, 0, kGreen, kRed, kBlue, "ahead"},
        {360, 0, kYellow, kGreen, kRed, "dragged right: turned 90 degrees left"},
        {-720, 0, kRed, kBlue, kYellow, "dragged left: turned 90 degrees right"},
        {360, 0, kGreen, kRed, kBlue, "back ahead"},
    };
    for (const Step &step : steps) {
        input.drag(step.dx, step.dy);
        const View v = look();
        EXPECT_EQ(v.left, step.left) << step.what;
        EXPECT_EQ(v.centre, step.centre) << step.what;
        EXPECT_EQ(v.right, step.right) << step.what;
    }

    // Looking 60 degrees up, the picture's top band is at the top.
    input.drag(0, 240);
    View v = look();
    EXPECT_EQ(v.top, kWhite);
    EXPECT_EQ(v.bottom, kRed);
    // Pitch stops at straight up, so dragging back by 90 degrees is level.
    input.drag(0, 4000);
    EXPECT_EQ(look().centre, kWhite);
    input.drag(0, -360);
    v = look();
    EXPECT_EQ(v.centre, kRed);
    EXPECT_EQ(v.top, kRed);

    // Moves without a pressed button do not turn.
    input.mouseMoved(400, 50, 300, 0);
    EXPECT_EQ(look().left, kGreen);

    // The wheel narrows the view down to its limit: the left edge, 57 degrees
    // off at the start, comes within the front quarter and stays upright.
    for (int notch = 0; notch < 100; ++notch)
        input.wheelTurned(0, 120);
    v = look();
    EXPECT_EQ(v.left, kRed);
    EXPECT_EQ(v.right, kRed);
    input.drag(0, 4000);
    EXPECT_EQ(look().top, kWhite);

    // A deleted mode no longer listens.
    mode.reset();
    input.drag(10, 10);
}

TEST_F(VrGL, ModesDoNotDependOnTheStateTheOtherLeft)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";
    Target widget(200, 100);
    NormalMode flat(&slot, 200, 100);
    VRMode vr(new VRRuntime(), &slot, 200, 100);
    // The flat picture has the seam's yellow at its left edge, the view
    // ahead the left quarter's green.
    for (int round = 0; round < 2; ++round) {
        flat.resize(200, 100);
        paintInto(flat, widget);
        EXPECT_EQ(widget.pixel(2, 50), kYellow) << "flat, round " << round;
        vr.resize(200, 100);
        paintInto(vr, widget);
        EXPECT_EQ(widget.pixel(2, 50), kGreen) << "VR, round " << round << ": a stale picture";
        EXPECT_EQ(widget.pixel(100, 50), kRed) << "VR, round " << round;
    }
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
    expectDesktopViewWithoutRuntime();
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

// Each eye samples its own half of a stereoscopic picture; without a
// headset the single view shows the left eye's half.
TEST_F(VrSimulated, StereoPicturesGiveEachEyeItsHalf)
{
    auto topBottom = [](float, float t) { return t < 0.5f ? kRed : kBlue; };
    auto sideBySide = [](float s, float) { return s < 0.5f ? kGreen : kYellow; };
    struct Case {
        StereoLayout::Packing packing;
        bool rightEyeFirst;
        std::function<Rgba(float, float)> picture;
        Rgba left, right;
    };
    const Case cases[] = {
        {StereoLayout::TopBottom, false, topBottom, kRed, kBlue},
        {StereoLayout::TopBottom, true, topBottom, kBlue, kRed},
        {StereoLayout::SideBySide, false, sideBySide, kGreen, kYellow},
        {StereoLayout::SideBySide, true, sideBySide, kYellow, kGreen},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "packing " << c.packing << ", right eye first " << c.rightEyeFirst);
        delete slot.exchange(new PictureFrame(256, 256, c.picture));
        StereoLayout layout;
        layout.packing = c.packing;
        layout.rightEyeFirst = c.rightEyeFirst;
        slot.setStereoLayout(layout);

        sim.reset(1);
        Target widget(64, 32);
        {
            VRMode mode(new VRRuntime(), &slot, 64, 32);
            paintInto(mode, widget);
            const std::vector<SimVRSubmission> all = sim.submissions();
            ASSERT_EQ(all.size(), 2u);
            // Everywhere in each eye, not only where the halves happen to meet.
            const TextureImage left(all[0].texture), right(all[1].texture);
            for (int y : {100, 480, 860}) {
                EXPECT_EQ(left.at(432, y), c.left) << "left eye, row " << y;
                EXPECT_EQ(right.at(432, y), c.right) << "right eye, row " << y;
            }
        }
        sim.reset(0);
        VRMode desktop(new VRRuntime(), &slot, 64, 32);
        paintInto(desktop, widget);
        EXPECT_EQ(widget.pixel(32, 16), c.left) << "desktop view";
    }
}

// The decoder may replace the frame at any moment; each paint still shows
// one frame to both eyes.
TEST_F(VrSimulated, BothEyesOfAPaintShowTheSameFrame)
{
    auto solid = [](Rgba c) { return new PictureFrame(64, 32, [c](float, float) { return c; }); };
    delete slot.exchange(solid(kRed));
    std::atomic<bool> stop{false};
    AbstractVideoFrame *spare = solid(kGreen);
    std::thread decoder([&] {
        while (!stop.load())
            spare = slot.exchange(spare);
    });

    Target widget(64, 32);
    VRMode mode(new VRRuntime(), &slot, 64, 32);
    int paints = 0, mismatches = 0, red = 0, green = 0;
    for (; paints < 30; ++paints) {
        paintInto(mode, widget);
        const std::vector<SimVRSubmission> all = sim.submissions();
        const Rgba left = TextureImage(all[all.size() - 2].texture).centre();
        const Rgba right = TextureImage(all.back().texture).centre();
        mismatches += left != right;
        red += left == kRed;
        green += left == kGreen;
    }
    stop = true;
    decoder.join();
    delete spare;

    EXPECT_EQ(mismatches, 0) << "of " << paints << " paints";
    EXPECT_GT(red, 0);
    EXPECT_GT(green, 0) << "the frame never changed, so this proves nothing";
}
