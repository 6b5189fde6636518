// The render view and its modes on Mesa, painting into an FBO that stands in
// for the widget's framebuffer; VrSimulated finds the headset on LD_LIBRARY_PATH.
#include "common/GlTestContext.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/StereoLayout.h"
#include "render/GLWidget.h"
#include "render/ModeFactory.h"
#include "render/NormalMode.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"
#include "render/gl/FBO.h"
#include "render/gl/Program.h"
#include "render/gl/Texture.h"

#include "simvr/SimVRControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/stereo3d.h>
}

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kYellow{255, 255, 0, 255},
    kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255}, kAny{};

// A frame painted by a function of s, t (t = 0 the top row); counts its uploads.
struct PictureFrame : AbstractVideoFrame {
    PictureFrame(int width, int height, const std::function<Rgba(float, float)> &paint)
        : AbstractVideoFrame(width, height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgba c = paint((x + 0.5f) / width, (y + 0.5f) / height);
                pixels.insert(pixels.end(), c.begin(), c.end());
            }
    }
    void updateTexture(FrameTexture &target) override
    {
        ++uploads;
        target.upload(pixels.data(), width, height);
    }
    void fill(const AVFrame *, AVPixelFormat, int64_t) override {}
    AVRational &aspect() { return sampleAspect; }
    std::vector<uint8_t> pixels;
    int uploads = 0;
};

// Red in front, green left, blue right, yellow behind (the seam), white along the top.
Rgba horizon(float s, float t)
{
    return t < 0.1f ? kWhite : s < 0.125f || s >= 0.875f ? kYellow : s < 0.375f ? kGreen : s < 0.625f ? kRed : kBlue;
}

// One texel of a texture, rows bottom to top.
Rgba texel(GLuint texture, int x, int y)
{
    GL::FBO fbo;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    Rgba c{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c.data());
    return c;
}

// Stands in for the widget's framebuffer: an RGBA texture attached to an FBO.
struct Target {
    Target(int width, int height)
        : texture(nullptr, width, height, GL_RGBA, GL_RGBA)
        , height(height)
    {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.id, 0);
    }
    void paint(GL::IRenderable &what) const
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo.id);
        what.render();
    }
    Rgba pixel(int x, int y) const { return texel(texture.id, x, height - 1 - y); } // y from the top
    GL::Texture texture;
    GL::FBO fbo;
    int height;
};

class VrGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
        slot.exchange(new PictureFrame(256, 128, horizon));
    }
    void TearDown() override
    {
        delete slot.exchange(nullptr);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    GlTestContext gl;
    FrameSlot slot;
};

using FlatGL = VrGL;
using VrSimulated = VrGL;

// Counts its paints; its slot is its only source of change.
struct ProbeMode : AbstractMode {
    explicit ProbeMode(FrameSlot *slot)
        : AbstractMode(0, 0)
        , slot(slot)
    {
    }
    FrameSlot *changeSource() const override { return slot; }
    void render() override { ++renders; }
    std::pair<int, int> size() const { return {width, height}; }
    FrameSlot *slot;
    int renders = 0;
};

// Waits until no paint has come for 300 ms; false when paints never stop.
bool paintsStop(const int &renders)
{
    QElapsedTimer quiet;
    quiet.start();
    int seen = renders;
    return QTest::qWaitFor(
        [&] {
            if (renders != seen) {
                seen = renders;
                quiet.restart();
            }
            return quiet.elapsed() >= 300;
        },
        20000);
}

} // namespace

// Painted when installed, then only for a new frame or a resize (which the mode takes).
TEST(GLWidgetTest, AModeWithAFrameSlotIsPaintedOnlyWhenSomethingChanged)
{
    GLWidget widget;
    widget.resize(160, 90);
    widget.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget.isInitialized(); }, 20000));
    FrameSlot slot;
    ProbeMode probe(&slot);
    widget.setMode(&probe);
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.renders > 0; }, 20000));
    ASSERT_TRUE(paintsStop(probe.renders)) << "paints go on without a change";
    PictureFrame first(2, 2, horizon), second(2, 2, horizon);
    const std::function<void()> changes[] = {[&] { slot.exchange(&first); }, [&] { slot.exchange(&second); },
                                             [&] { widget.resize(200, 120); }};
    int resized = 0; // paints before the last change, the resize
    for (const auto &change : changes) {
        const int settled = resized = probe.renders;
        change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.renders > settled; }, 20000));
        ASSERT_TRUE(paintsStop(probe.renders)) << "paints go on after a change";
    }
    // A resize keeps painting for 50 ms (the driver may re-allocate the window's buffers).
    EXPECT_GE(probe.renders - resized, 3) << "no settle paints after a resize";
    EXPECT_EQ(probe.size(), std::make_pair(200, 120)) << "the mode follows the widget's size";
    slot.exchange(nullptr);
    widget.setMode(nullptr);
}

// As large as fits at its display aspect, centred and upright between bars, from one upload.
TEST_F(FlatGL, PictureKeepsItsDisplayAspectUprightBetweenBars)
{
    auto *quadrants = new PictureFrame(
        8, 8, [](float s, float t) { return t < 0.5f ? (s < 0.5f ? kRed : kGreen) : (s < 0.5f ? kBlue : kWhite); });
    delete slot.exchange(quadrants);
    NormalMode flat(&slot, 1, 1);
    const struct {
        int width, height;
        AVRational sampleAspect;
        int left, top, right, bottom; // of the picture, inclusive
    } cases[] = {
        {300, 100, {1, 1}, 100, 0, 199, 99}, // bars left and right
        {90, 260, {1, 1}, 0, 85, 89, 174},   // bars above and below
        {300, 100, {2, 1}, 50, 0, 249, 99},  // stored square, shown twice as wide
        {160, 90, {4, 3}, 20, 0, 139, 89},   // 4:3 in 16:9
        {101, 50, {0, 1}, 25, 0, 74, 49},    // unknown: square; an odd width rounds down
    };
    for (const auto &c : cases) {
        quadrants->aspect() = c.sampleAspect;
        Target widget(c.width, c.height);
        flat.resize(c.width, c.height);
        widget.paint(flat);
        auto at = [&](int x, int y) {
            return x < 0 || y < 0 || x >= c.width || y >= c.height ? kBlack : widget.pixel(x, y);
        };
        const int midX = (c.left + c.right) / 2, midY = (c.top + c.bottom) / 2;
        EXPECT_TRUE(at(c.left, c.top) == kRed && at(c.right, c.top) == kGreen && at(c.left, c.bottom) == kBlue &&
                    at(c.right, c.bottom) == kWhite && at(c.left - 1, midY) == kBlack &&
                    at(c.right + 1, midY) == kBlack && at(midX, c.top - 1) == kBlack &&
                    at(midX, c.bottom + 1) == kBlack)
            << c.width << "x" << c.height << " sar " << c.sampleAspect.num << ":" << c.sampleAspect.den;
    }
    EXPECT_EQ(quadrants->uploads, 1);
}

// The GL wrappers leave no program (even a broken one) nor framebuffer binding behind.
TEST_F(FlatGL, WrappersCleanUp)
{
    GLuint program = 0;
    {
        GL::Program broken("#version 330 core\nvoid main() { gl_Position = vec4(1.0); }\n",
                           "#version 330 core\nout vec4 result;\nvoid main() { result = }\n");
        program = broken.id;
    }
    EXPECT_FALSE(glIsProgram(program)) << "the program outlived its wrapper";
    GL::FBO fbo; // bound when made
    fbo.unbind();
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}

// One view, turned by a drag (4 pixels a degree), zoomed by the wheel; flat mode unaffected.
TEST_F(VrGL, WithoutRuntimeTheMouseTurnsAndZoomsOneView)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";
    GLWidget input; // never shown: its input handling only
    Target widget(200, 100);
    NormalMode flat(&slot, 200, 100);
    std::unique_ptr<AbstractMode> mode(createMode(&input, 1, &slot, 0, 0));
    mode->resize(200, 100);
    auto mouse = [&](QEvent::Type type, float x, float y, Qt::MouseButton button) {
        QMouseEvent event(type, QPointF(x, y), button, button, Qt::NoModifier);
        QApplication::sendEvent(&input, &event);
    };
    const struct {
        float dx, dy;
        int button; // 1: a drag; 0: a move without a button; -1: 100 notches of the wheel
        Rgba left, centre, right, top;
    } steps[] = {
        {0, 0, 1, kGreen, kRed, kBlue, kAny},     {360, 0, 1, kYellow, kGreen, kRed, kAny}, // turned left
        {-720, 0, 1, kRed, kBlue, kYellow, kAny}, {360, 0, 1, kGreen, kRed, kBlue, kAny},   // right, ahead again
        {0, 240, 1, kAny, kAny, kAny, kWhite},  // 60 degrees up: the top band at the top
        {0, 4000, 1, kAny, kWhite, kAny, kAny}, // pitch stops at straight up,
        {0, -360, 1, kAny, kRed, kAny, kRed},   // so 90 degrees back down is level
        {300, 0, 0, kGreen, kAny, kAny, kAny},  // no button: no turn
        {0, 0, -1, kRed, kAny, kRed, kAny},     // zoomed in: the edges come within the front quarter,
        {0, 4000, 1, kAny, kAny, kAny, kWhite}, // upright
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        widget.paint(flat);
        EXPECT_EQ(widget.pixel(2, 50), kYellow) << "flat, step " << i;
        const auto &step = steps[i];
        const Qt::MouseButton button = step.button > 0 ? Qt::LeftButton : Qt::NoButton;
        if (step.button > 0)
            mouse(QEvent::MouseButtonPress, 100, 50, button);
        for (int notch = 0; step.button < 0 && notch < 100; ++notch) {
            QWheelEvent wheel(QPointF(100, 50), QPointF(100, 50), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&input, &wheel);
        }
        mouse(QEvent::MouseMove, 100 + step.dx / 2, 50 + step.dy / 2, button); // in two moves
        mouse(QEvent::MouseMove, 100 + step.dx, 50 + step.dy, button);
        mouse(QEvent::MouseButtonRelease, 100 + step.dx, 50 + step.dy, button);
        widget.paint(*mode);
        const Rgba seen[] = {widget.pixel(4, 50), widget.pixel(100, 50), widget.pixel(195, 50), widget.pixel(100, 1)};
        const Rgba wanted[] = {step.left, step.centre, step.right, step.top};
        for (int p = 0; p < 4; ++p)
            EXPECT_TRUE(wanted[p] == kAny || seen[p] == wanted[p]) << "step " << i << ", probe " << p;
    }
    mode.reset();
    mouse(QEvent::MouseButtonPress, 0, 0, Qt::LeftButton); // a deleted mode no longer listens
}

// Each paint submits both eyes, each its own half, mirrored upright in the widget.
TEST_F(VrSimulated, StereoPicturesGiveEachEyeItsHalf)
{
    auto topBottom = [](float, float t) { return t < 0.5f ? kRed : kBlue; };
    auto sideBySide = [](float s, float t) { return t > 0.65f ? kWhite : s < 0.5f ? kGreen : kYellow; };
    const struct {
        AVStereo3DType type;
        bool inverted;
        std::function<Rgba(float, float)> picture;
        Rgba eye[2], low[2]; // the middle of each eye's view and low in it
    } cases[] = {
        {AV_STEREO3D_TOPBOTTOM, false, topBottom, {kRed, kBlue}, {kRed, kBlue}},
        {AV_STEREO3D_TOPBOTTOM, true, topBottom, {kBlue, kRed}, {kBlue, kRed}},
        {AV_STEREO3D_SIDEBYSIDE, false, sideBySide, {kGreen, kYellow}, {kWhite, kWhite}},
        {AV_STEREO3D_SIDEBYSIDE, true, sideBySide, {kYellow, kGreen}, {kWhite, kWhite}},
    };
    SimVRState *sim = openSimVR("libopenvr_api.so");
    ASSERT_TRUE(sim) << "simulated runtime not found: " << dlerror();
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "side data " << c.type << ", inverted " << c.inverted);
        AVFormatContext *format = avformat_alloc_context();
        AVStream *stream = avformat_new_stream(format, nullptr);
        AVStereo3D *stereo = av_stereo3d_alloc();
        stereo->type = c.type;
        stereo->flags = c.inverted ? AV_STEREO3D_FLAG_INVERT : 0;
        av_stream_add_side_data(stream, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t *>(stereo), sizeof(*stereo));
        slot.setStereoLayout(StereoLayout::of(stream));
        avformat_free_context(format);
        delete slot.exchange(new PictureFrame(256, 256, c.picture));
        sim->reset();
        Target widget(128, 32);
        VRMode mode(new VRRuntime(), &slot, 64, 32);
        mode.resize(128, 32); // the companion window follows
        widget.paint(mode);
        ASSERT_EQ(sim->submissions.size(), 2u);
        for (int eye = 0; eye < 2; ++eye) {
            const SimVRSubmission &s = sim->submissions[size_t(eye)];
            EXPECT_EQ(s.eye, eye);
            for (int y : {100, 480, 860}) // rows of the 864 x 960 image, bottom to top
                EXPECT_EQ(texel(s.texture, 432, y), y == 100 ? c.low[eye] : c.eye[eye])
                    << "eye " << eye << ", row " << y;
        }
        EXPECT_TRUE(widget.pixel(32, 16) == c.eye[0] && widget.pixel(96, 16) == c.eye[1] &&
                    widget.pixel(32, 30) == c.low[0])
            << "companion window";
    }
}

// The pose turns both views; one runtime session serves every VR mode until the last goes.
TEST_F(VrSimulated, TheHeadTurnsTheViewAndOneSessionServesEveryMode)
{
    SimVRState *sim = openSimVR("libopenvr_api.so");
    ASSERT_TRUE(sim) << "simulated runtime not found: " << dlerror();
    sim->reset();
    {
        Target widget(128, 32);
        VRMode mode(new VRRuntime(), &slot, 128, 32);
        for (auto [yaw, seen] : {std::pair{90.0f, kGreen}, {-90.0f, kBlue}, {0.0f, kRed}}) {
            sim->pose(yaw, 0, -1, -3);
            widget.paint(mode); // takes the pose for the next paint
            sim->submissions.clear();
            widget.paint(mode);
            ASSERT_EQ(sim->submissions.size(), 2u);
            for (const SimVRSubmission &s : sim->submissions)
                EXPECT_EQ(texel(s.texture, 432, 480), seen) << "eye " << s.eye << " at yaw " << yaw;
        }
        {
            VRMode other(new VRRuntime(), &slot, 128, 32);
        }
        EXPECT_EQ(sim->events, "I") << "deleting one mode shut the runtime down under the other";
    }
    EXPECT_EQ(sim->events, "IS");
}
