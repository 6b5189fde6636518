// The VR mode as a host meets it: the plug-in laid out as a user's install
// with the simulated runtime beside it and no LD_LIBRARY_PATH, so every frame
// the headset gets proves the plug-in found the runtime there. A top-bottom
// stereoscopic file as Matroska marks it gives the top half (red) to the left
// eye and the bottom (blue) to the right one, which the widget's halves
// mirror; deleting the player ends the session. What the eyes see in detail
// is render_vr_simulated's.
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
