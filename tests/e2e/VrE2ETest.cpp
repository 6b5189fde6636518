// The plug-in installed beside the simulated runtime, without LD_LIBRARY_PATH:
// a top-bottom file feeds red to the left eye, blue to the right, mirrored.
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

TEST(VrE2E, TheInstalledPluginFindsTheRuntimeBesideItAndFeedsEachEyeItsHalf)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SimVRState *sim = openSimVR(PLA_SIMVR_LIBRARY);
    ASSERT_TRUE(sim) << "simulated runtime not found: " << dlerror();
    sim->reset();
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    host.run("open:stereo_tb.mkv play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->submissions.size() >= 40; }, 20000))
        << "the headset gets no frames (two eyes each): the runtime beside the plug-in was not used";
    // The companion window mirrors the eyes (on a loaded machine the first picture can come late).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage image = host.grabWidget();
            return near(image.pixelColor(image.width() / 4, image.height() / 2), QColor(255, 0, 0)) &&
                   near(image.pixelColor(3 * image.width() / 4, image.height() / 2), QColor(0, 0, 255));
        },
        10000));
    // Stopped first: deleting a player whose audio output just started can abort in Qt's PulseAudio backend.
    host.run("stop wait:100");
    EXPECT_EQ(sim->events, "I");
    host.destroyPlayer();
    EXPECT_EQ(sim->events, "IS");
}
