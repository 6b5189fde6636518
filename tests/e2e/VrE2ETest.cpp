// The VR mode as a host meets it: a player from the built plug-in shows a
// 360-degree clip through the simulated headset. The plug-in runs from a
// directory laid out as a user's install, with the runtime library beside it
// and no LD_LIBRARY_PATH, so every frame here also proves that it finds the
// runtime there. GUI thread only.
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

class VrE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
        ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
        sim.reset(1);
    }

    // Waits until the headset has been given `frames` more frames.
    bool waitForFrames(int frames)
    {
        const int target = sim.submitCount() + 2 * frames;
        return waitFor([&] { return sim.submitCount() >= target; }, 20000);
    }

    // Stopped first: deleting a player whose audio output was just started
    // can abort inside Qt's PulseAudio backend, which is not under test here.
    static void deletePlayer(E2EHost &host)
    {
        host.player()->stop();
        pump(100);
        host.destroyPlayer();
    }

    SimVRClient sim{PLA_SIMVR_LIBRARY};
};

// Both halves of the widget mirror the eyes' middles.
void expectHalves(E2EHost &host, const QColor &expected)
{
    const QImage image = host.grabWidget();
    for (int x : {image.width() / 4, 3 * image.width() / 4}) {
        const QColor seen(image.pixel(x, image.height() / 2));
        EXPECT_TRUE(near(seen, expected))
            << "at x " << x << ": " << seen.red() << "," << seen.green() << "," << seen.blue();
    }
}

} // namespace

// equirect.mp4: quarters red, green, blue, yellow from left to right. From
// the sphere's centre, 45 degrees left of ahead is the middle of the green
// quarter and 45 degrees right the middle of the blue one.
TEST_F(VrE2E, HwVrHostShowsTheClipThroughTheHeadset)
{
    sim.pose(45, 0, 0.0f, -1.0f, -3.0f);
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    EXPECT_EQ(host.player()->renderMode(), 3);
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    ASSERT_TRUE(waitForFrames(20)) << "the headset gets no frames: the runtime beside the plug-in was not used";
    expectHalves(host, QColor(0, 255, 0));

    sim.pose(-45, 0, 0.0f, -1.0f, -3.0f);
    ASSERT_TRUE(waitForFrames(5));
    expectHalves(host, QColor(0, 0, 255));

    deletePlayer(host);
    EXPECT_EQ(sim.events("IS"), "IS");
}

TEST_F(VrE2E, SwitchingModesCreatesTheVrModeOnceAndDeletingThePlayerShutsItDown)
{
    E2EHost host("CreateSw", true, QSize(320, 160));
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    pump(200);
    EXPECT_EQ(sim.events("I"), "") << "the flat mode started the runtime";

    host.player()->setRenderMode(3);
    EXPECT_EQ(host.player()->renderMode(), 3);
    ASSERT_TRUE(waitForFrames(5));

    host.player()->setRenderMode(0);
    pump(300);
    const int submittedInFlatMode = sim.submitCount();
    pump(300);
    EXPECT_EQ(sim.submitCount(), submittedInFlatMode) << "the headset is fed in the flat mode";

    host.player()->setRenderMode(3);
    ASSERT_TRUE(waitForFrames(5));
    EXPECT_EQ(sim.events("IS"), "I") << "a second VR mode was made, or the first one shut down";

    deletePlayer(host);
    EXPECT_EQ(sim.events("IS"), "IS");
}
