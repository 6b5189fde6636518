// The VR mode as a host meets it, through the simulated headset, the plug-in
// laid out as a user's install with the runtime beside it and no
// LD_LIBRARY_PATH: every frame proves that it finds the runtime there.
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);

class VrE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLA_REQUIRE_TEST_ENVIRONMENT();
        ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
        sim.reset(1);
    }

    // Waits until the headset has been given `frames` more frames (two eyes each).
    bool waitForFrames(int frames)
    {
        const int target = sim.submitCount() + 2 * frames;
        return QTest::qWaitFor([&] { return sim.submitCount() >= target; }, 20000);
    }

    // Stopped first: deleting a player whose audio output was just started
    // can abort inside Qt's PulseAudio backend, which is not under test here.
    static void deletePlayer(E2EHost &host) { host.run("stop wait:100"); host.destroyPlayer(); }

    static std::unique_ptr<E2EHost> playing(const std::string &clip, const char *factory = "CreateHwVr")
    {
        auto host = std::make_unique<E2EHost>(factory, true, QSize(320, 160));
        host->run("open:" + clip + " play");
        return host;
    }

    SimVRClient sim{PLA_SIMVR_LIBRARY};
};

} // namespace

// equirect.mp4: quarters red, green, blue, yellow from left to right. From
// the sphere's centre, 45 degrees left of ahead is the middle of the green
// quarter and 45 degrees right the middle of the blue one. A top-bottom
// stereoscopic file as Matroska marks it gives the top half (red) to the left
// eye and the bottom half (blue) to the right one. The widget's left half
// mirrors the left eye, the right half the right eye.
TEST_F(VrE2E, TheHeadsetShowsWhereItLooksEachEyeItsHalf)
{
    QTemporaryDir dir;
    const QString stereo = dir.filePath(QStringLiteral("top-bottom.mkv"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=512x512:r=25:d=4", "-vf",
                  "drawbox=x=0:y=256:w=512:h=256:color=blue:t=fill", "-metadata:s:v", "stereo_mode=top_bottom",
                  "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", stereo});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) << ffmpeg.readAllStandardError().data();

    const struct {
        std::string clip;
        float yaw;
        QColor left, right;
    } views[] = {{"equirect.mp4", 45, kGreen, kGreen},
                 {"equirect.mp4", -45, kBlue, kBlue},
                 {stereo.toStdString(), 0, kRed, kBlue}};
    std::unique_ptr<E2EHost> host;
    for (const auto &view : views) {
        SCOPED_TRACE(view.clip + " at " + std::to_string(view.yaw));
        sim.pose(view.yaw, 0, 0.0f, -1.0f, -3.0f);
        if (!host || !host->player()->filePath().endsWith(QString::fromStdString(view.clip))) {
            if (host)
                deletePlayer(*host);
            host = playing(view.clip);
            EXPECT_EQ(host->player()->renderMode(), RenderModeVR);
        }
        ASSERT_TRUE(waitForFrames(20)) << "the headset gets no frames: the runtime beside the plug-in was not used";
        // On a loaded machine the first picture can come after the first frames.
        QColor left, right;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            const QImage image = host->grabWidget();
            left = image.pixelColor(image.width() / 4, image.height() / 2);
            right = image.pixelColor(3 * image.width() / 4, image.height() / 2);
            return near(left, view.left) && near(right, view.right);
        }, 10000)) << left.name().toStdString() << " " << right.name().toStdString();
    }
    deletePlayer(*host);
    EXPECT_EQ(sim.events("IS"), "ISIS");
}

// The VR mode is made once per player and the runtime once for all players:
// switching modes back and forth and deleting one of two players keep it.
TEST_F(VrE2E, PlayersShareTheRuntimeUntilTheLastIsDeleted)
{
    auto flat = playing("equirect.mp4", "CreateSw");
    QTest::qWait(200);
    EXPECT_EQ(sim.events("I"), "") << "the flat mode started the runtime";
    flat->player()->setRenderMode(RenderModeVR);
    ASSERT_TRUE(waitForFrames(5));
    flat->player()->setRenderMode(RenderModeNormal);
    QTest::qWait(300);
    const int submittedInFlatMode = sim.submitCount();
    QTest::qWait(300);
    EXPECT_EQ(sim.submitCount(), submittedInFlatMode) << "the headset is fed in the flat mode";
    flat->player()->setRenderMode(RenderModeVR);
    ASSERT_TRUE(waitForFrames(5));

    auto vr = playing("equirect.mp4");
    ASSERT_TRUE(waitForFrames(10));
    EXPECT_EQ(sim.events("IS"), "I") << "one session for both players and all modes";
    deletePlayer(*flat);
    EXPECT_EQ(sim.events("IS"), "I") << "deleting one player shut the runtime down under the other";
    ASSERT_TRUE(waitForFrames(10)) << "the remaining player no longer reaches the headset";
    deletePlayer(*vr);
    EXPECT_EQ(sim.events("IS"), "IS");
}
