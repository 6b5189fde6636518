// The VR mode as a host meets it: the plug-in laid out as a user's install
// with the simulated runtime beside it and no LD_LIBRARY_PATH, so every frame
// the headset gets proves the plug-in found the runtime there. A top-bottom
// stereoscopic file as Matroska marks it gives the top half (red) to the left
// eye and the bottom (blue) to the right one, which the widget's halves
// mirror; deleting the player ends the session. What the eyes see in detail
// is render_vr_simulated's.
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

#include <QProcess>
#include <QTemporaryDir>

TEST(VrE2E, TheInstalledPluginFindsTheRuntimeBesideItAndFeedsEachEyeItsHalf)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SimVRState *sim = openSimVR(PLA_SIMVR_LIBRARY);
    ASSERT_TRUE(sim) << "simulated runtime not found: " << dlerror();
    sim->reset();
    QTemporaryDir dir;
    const QString stereo = dir.filePath(QStringLiteral("top-bottom.mkv"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=512x512:r=25:d=4", "-vf",
                  "drawbox=x=0:y=256:w=512:h=256:color=blue:t=fill", "-metadata:s:v", "stereo_mode=top_bottom", "-c:v",
                  "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", stereo});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) << ffmpeg.readAllStandardError().data();

    E2EHost host("CreateHwVr", true, QSize(320, 160));
    host.run("open:" + stereo.toStdString() + " play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->submissions.size() >= 40; }, 20000))
        << "the headset gets no frames (two eyes each): the runtime beside the plug-in was not used";
    // On a loaded machine the first picture can come after the first frames.
    QColor left, right;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage image = host.grabWidget();
            left = image.pixelColor(image.width() / 4, image.height() / 2);
            right = image.pixelColor(3 * image.width() / 4, image.height() / 2);
            return near(left, QColor(255, 0, 0)) && near(right, QColor(0, 0, 255));
        },
        10000))
        << left.name().toStdString() << " " << right.name().toStdString();

    // Stopped first: deleting a player whose audio output just started can abort in Qt's PulseAudio backend.
    host.run("stop wait:100");
    EXPECT_EQ(sim->events, "I");
    host.destroyPlayer();
    EXPECT_EQ(sim->events, "IS");
}
