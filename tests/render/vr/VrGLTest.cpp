// The VR mode on a real GL context (Mesa under Xvfb). One executable, two
// CTest entries: render_vr_gl runs the VrGL cases with no OpenVR library on
// the search path, render_vr_simulated the VrSimulated ones with the
// simulated headset (tests/render/simvr) found through LD_LIBRARY_PATH,
// exactly as a user's SteamVR copy would be. The sphere's geometry is seen
// through its pixels here and in e2e_vr.
#include "common/GlTestContext.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/StereoLayout.h"
#include "render/AbstractInputHandler.h"
#include "render/ModeFactory.h"
#include "render/NormalMode.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"
#include "render/gl/FBO.h"
#include "render/gl/Texture.h"

#include "SimVRControl.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/stereo3d.h>
}

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kYellow{255, 255, 0, 255},
    kWhite{255, 255, 255, 255}, kAny{};

// A converted frame painted by a function of the texture coordinates s, t
// (t = 0 is the top row).
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

// One texel of a texture, rows bottom to top.
Rgba texel(GLuint texture, int x = 432, int y = 480)
{
    GL::FBO fbo;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    Rgba c{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, c.data());
    return c;
}

// Stands in for the widget's framebuffer (not framebuffer 0, as a widget's
// need not be): an RGBA texture attached to an FBO.
struct Target {
    Target(int width, int height) : texture(nullptr, width, height, GL_RGBA, GL_RGBA)
    {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.id, 0);
    }
    void paint(GL::IRenderable &what) const
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo.id);
        what.render();
    }
    Rgba pixel(int x, int y) const { return texel(texture.id, x, y); }
    GL::Texture texture;
    GL::FBO fbo;
};

class VrGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
        slot.exchange(new PictureFrame(256, 128, horizon));
    }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }

    GlTestContext gl;
    FrameSlot slot; // destroyed first, while the context is still current
};

using VrSimulated = VrGL;

} // namespace

// Without an OpenVR library the mode paints one view over the whole widget,
// straight ahead, which the mouse turns (4 pixels of drag per degree, the
// picture moving with the pointer) and the wheel zooms. The flat mode painted
// in between leaves nothing that changes it, nor it anything for the flat
// mode (whose left edge is the seam's yellow).
TEST_F(VrGL, WithoutRuntimeTheMouseTurnsAndZoomsOneView)
{
    if (dlopen("libopenvr_api.so", RTLD_LAZY))
        GTEST_SKIP() << "an OpenVR library is installed on this machine";
    struct : AbstractInputHandler {
    } input;
    Target widget(200, 100);
    NormalMode flat(&slot, 200, 100);
    std::unique_ptr<AbstractMode> mode(createMode(&input, 1, &slot, 0, 0));
    mode->resize(200, 100);
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
        if (step.button > 0)
            input.mousePressed(100, 50);
        for (int notch = 0; step.button < 0 && notch < 100; ++notch)
            input.wheelTurned(0, 120);
        input.mouseMoved(100 + step.dx, 50 + step.dy, step.dx, step.dy);
        input.mouseReleased(100 + step.dx, 50 + step.dy);
        widget.paint(*mode);
        const Rgba seen[] = {widget.pixel(4, 50), widget.pixel(100, 50), widget.pixel(195, 50), widget.pixel(100, 98)};
        const Rgba wanted[] = {step.left, step.centre, step.right, step.top};
        for (int p = 0; p < 4; ++p)
            EXPECT_TRUE(wanted[p] == kAny || seen[p] == wanted[p]) << "step " << i << ", probe " << p;
    }
    mode.reset();
    input.mousePressed(0, 0); // a deleted mode no longer listens
}

// Every paint hands the compositor both eyes' resolved images (OpenGL,
// gamma, whole texture, the recommended size), each sampling its own half of
// a stereoscopic picture everywhere, and mirrors them in the widget, upright
// (the white band low in the side-by-side picture is low in the view). Without
// the system interface the runtime counts as absent and is shut down again:
// one view shows the left eye's half and nothing reaches the compositor.
TEST_F(VrSimulated, StereoPicturesGiveEachEyeItsHalf)
{
    auto topBottom = [](float, float t) { return t < 0.5f ? kRed : kBlue; };
    auto sideBySide = [](float s, float t) { return t > 0.65f ? kWhite : s < 0.5f ? kGreen : kYellow; };
    const struct {
        StereoLayout layout;
        std::function<Rgba(float, float)> picture;
        Rgba eye[2];
    } cases[] = {
        {{StereoLayout::TopBottom, false}, topBottom, {kRed, kBlue}},
        {{StereoLayout::TopBottom, true}, topBottom, {kBlue, kRed}},
        {{StereoLayout::SideBySide, false}, sideBySide, {kGreen, kYellow}},
        {{StereoLayout::SideBySide, true}, sideBySide, {kYellow, kGreen}},
    };
    SimVRClient sim("libopenvr_api.so");
    ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
    for (const auto &c : cases) {
        auto low = [&](int eye) { return c.layout.packing == StereoLayout::SideBySide ? kWhite : c.eye[eye]; };
        SCOPED_TRACE(testing::Message() << "packing " << c.layout.packing << ", right first "
                                        << c.layout.rightEyeFirst);
        delete slot.exchange(new PictureFrame(256, 256, c.picture));
        slot.setStereoLayout(c.layout);
        sim.reset(1);
        Target widget(128, 32);
        {
            VRMode mode(new VRRuntime(), &slot, 64, 32);
            mode.resize(128, 32); // the companion window follows
            widget.paint(mode);
            const std::vector<SimVRSubmission> eyes = sim.submissions();
            ASSERT_EQ(eyes.size(), 2u);
            for (int eye = 0; eye < 2; ++eye) {
                const SimVRSubmission &s = eyes[size_t(eye)];
                GLint size[2] = {};
                glBindTexture(GL_TEXTURE_2D, s.texture);
                glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &size[0]);
                glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &size[1]);
                EXPECT_EQ(std::vector<int>({s.eye, s.type, s.colorSpace, s.hadBounds, s.flags, size[0], size[1]}),
                          std::vector<int>({eye, 1, 1, 0, 0, 864, 960}))
                    << "eye, OpenGL, gamma, whole texture, no flags, recommended size";
                for (int y : {100, 480, 860})
                    EXPECT_EQ(texel(s.texture, 432, y), y == 100 ? low(eye) : c.eye[eye])
                        << "eye " << eye << ", row " << y;
            }
            EXPECT_TRUE(widget.pixel(32, 16) == c.eye[0] && widget.pixel(96, 16) == c.eye[1] &&
                        widget.pixel(32, 1) == low(0))
                << "companion window";
        }
        sim.reset(0);
        {
            VRMode desktop(new VRRuntime(), &slot, 128, 32);
            widget.paint(desktop);
            EXPECT_EQ(widget.pixel(64, 16), c.eye[0]) << "desktop view";
        }
        EXPECT_EQ(sim.submitCount(), 0);
        EXPECT_EQ(sim.events("IS"), "IS") << "a runtime without the system interface was left running";
    }
}

// How the stream's stereo side data splits the picture between the eyes.
TEST(StereoLayout, ReadFromTheVideoStreamsSideData)
{
    using L = StereoLayout;
    const std::pair<AVStereo3DType, L> cases[] = {{AV_STEREO3D_TOPBOTTOM, {L::TopBottom, false}},
                                                  {AV_STEREO3D_SIDEBYSIDE, {L::SideBySide, true}}};
    for (const auto &c : cases) {
        AVFormatContext *format = avformat_alloc_context();
        AVStream *stream = avformat_new_stream(format, nullptr);
        AVStereo3D *stereo = av_stereo3d_alloc();
        stereo->type = c.first;
        stereo->flags = c.second.rightEyeFirst ? AV_STEREO3D_FLAG_INVERT : 0;
        av_stream_add_side_data(stream, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t *>(stereo), sizeof(*stereo));
        EXPECT_EQ(StereoLayout::of(stream), c.second) << c.first;
        avformat_free_context(format);
    }
}
