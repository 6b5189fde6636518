// The VR mode against the simulated headset (tests/render/simvr), found
// through LD_LIBRARY_PATH exactly as a user's SteamVR copy would be.
#include "VrTestSupport.h"

#include "SimVRControl.h"
#include "player/FrameSlot.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"

#include <dlfcn.h>

using namespace vrtest;

namespace {

struct Submission {
    int eye = -1;
    uint32_t texture = 0;
    int type = -1;
    int colorSpace = -1;
    int hadBounds = -1;
    int flags = -1;
};

class VrSimulated : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok) << "no GL context (is DISPLAY set?)";
        ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
        sim.reset();
        slot.exchange(new PictureFrame(256, 128, equirectPicture(256, 128)));
    }

    Submission submission(int index)
    {
        Submission s;
        sim.getSubmit(index, &s.eye, &s.texture, &s.type, &s.colorSpace, &s.hadBounds, &s.flags);
        return s;
    }

    // Paints once into the stand-in widget; returns the centre colour of the
    // left eye image submitted by this paint.
    Rgba paint(VRMode &mode, Target &widget)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, widget.fbo->id);
        mode.render();
        const int count = sim.submitCount();
        if (count < 2)
            return {};
        return readTexture(submission(count - 2).texture).centre();
    }

    GLContext gl;
    SimVRClient sim{"libopenvr_api.so"};
    FrameSlot slot;
};

} // namespace

TEST_F(VrSimulated, RuntimeConnectsAndShutsDown)
{
    {
        VRRuntime runtime;
        ASSERT_NE(runtime.getSystem(), nullptr);
        EXPECT_TRUE(sim.isInitialised());
        EXPECT_EQ(runtime.renderWidth(), 864);
        EXPECT_EQ(runtime.renderHeight(), 960);
    }
    EXPECT_FALSE(sim.isInitialised());
    EXPECT_EQ(sim.events("IS"), "IS");

    // A runtime that does not offer the system interface counts as absent and
    // is shut down again at once.
    sim.reset();
    sim.setOfferSystem(0);
    {
        VRRuntime runtime;
        EXPECT_EQ(runtime.getSystem(), nullptr);
        EXPECT_FALSE(sim.isInitialised());
        EXPECT_EQ(runtime.renderWidth(), 100);
        runtime.submit(1, 2);
        runtime.waitGetPoses();
    }
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
    ASSERT_EQ(sim.submitCount(), 6);
    const Submission left = submission(0), right = submission(1);
    EXPECT_NE(left.texture, right.texture);
    for (int i = 0; i < 6; ++i) {
        const Submission s = submission(i);
        EXPECT_EQ(s.eye, i % 2);
        EXPECT_EQ(s.texture, i % 2 ? right.texture : left.texture);
        EXPECT_EQ(s.type, 1) << "OpenGL";
        EXPECT_EQ(s.colorSpace, 1) << "gamma";
        EXPECT_EQ(s.hadBounds, 0);
        EXPECT_EQ(s.flags, 0);
    }
    // The submitted names are the resolved single-sample eye images of the
    // recommended size, and the widget mirrors them side by side.
    const TextureImage leftImage = readTexture(left.texture);
    const TextureImage rightImage = readTexture(right.texture);
    EXPECT_EQ(leftImage.width, 864);
    EXPECT_EQ(leftImage.height, 960);
    EXPECT_EQ(rightImage.width, 864);
    EXPECT_EQ(rightImage.height, 960);
    EXPECT_EQ(leftImage.centre(), kFront);
    EXPECT_EQ(rightImage.centre(), kFront);
    EXPECT_EQ(widget.pixel(100, 100), kFront);
    EXPECT_EQ(widget.pixel(300, 100), kFront);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(VrSimulated, PictureDirectionsAroundTheViewer)
{
    Target widget(64, 32);
    VRMode mode(new VRRuntime(), &slot, 64, 32);

    // Standing at the tracking origin, straight ahead is the picture's centre.
    EXPECT_EQ(paint(mode, widget), kFront);

    // From the sphere's centre every turn of the head shows its own region.
    struct Case {
        float yaw, pitch;
        Rgba expected;
        const char *what;
    };
    const Case cases[] = {
        {90, 0, kLeft, "turned left"},   {-90, 0, kRight, "turned right"}, {180, 0, kBack, "turned round"},
        {0, 90, kTop, "looking up"},     {0, 0, kFront, "ahead"},
    };
    for (const Case &c : cases) {
        sim.pose(c.yaw, c.pitch, 0.0f, -1.0f, -3.0f);
        paint(mode, widget); // fetches the pose
        EXPECT_EQ(paint(mode, widget), c.expected) << c.what;
    }
}

TEST_F(VrSimulated, PoseIsUsedFromTheNextPaintAndInvalidPosesAreIgnored)
{
    Target widget(64, 32);
    VRMode mode(new VRRuntime(), &slot, 64, 32);
    EXPECT_EQ(paint(mode, widget), kFront);

    // The pose set now is fetched at the end of the next paint, which still
    // shows the previous one, and used by the paint after it.
    sim.pose(90, 0, 0.0f, -1.0f, -3.0f);
    EXPECT_EQ(paint(mode, widget), kFront);
    EXPECT_EQ(paint(mode, widget), kLeft);

    sim.setPoseValid(0);
    sim.pose(-90, 0, 0.0f, -1.0f, -3.0f);
    paint(mode, widget);
    EXPECT_EQ(paint(mode, widget), kLeft);

    sim.setPoseValid(1);
    paint(mode, widget);
    EXPECT_EQ(paint(mode, widget), kRight);
}
