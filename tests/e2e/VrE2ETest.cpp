// The VR mode as a host meets it: a player from the built plug-in shows a
// 360-degree clip through the simulated headset. The plug-in runs from a
// directory laid out as a user's install, with the runtime library beside it
// and no LD_LIBRARY_PATH, so every frame here also proves that it finds the
// runtime there. GUI thread only.
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>

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

// The widget's pixel at fractions fx, fy of its size matches expected.
void expectAt(const QImage &image, double fx, double fy, const QColor &expected)
{
    const QColor seen(image.pixel(int(fx * image.width()), int(fy * image.height())));
    EXPECT_TRUE(near(seen, expected)) << "at " << fx << "," << fy << ": " << seen.red() << "," << seen.green() << ","
                                      << seen.blue();
}

// The left half of the widget mirrors the left eye, the right half the right
// eye; each is checked above, at and below its middle.
void expectHalves(E2EHost &host, const QColor &left, const QColor &right)
{
    const QImage image = host.grabWidget();
    for (double fy : {0.3, 0.5, 0.7}) {
        expectAt(image, 0.25, fy, left);
        expectAt(image, 0.75, fy, right);
    }
}

void expectHalves(E2EHost &host, const QColor &expected)
{
    expectHalves(host, expected, expected);
}

// A drag across the player's widget as the user's mouse makes it.
void drag(E2EHost &host, int dx, int dy)
{
    QWidget *w = host.player()->widget();
    const QPoint from(w->width() / 2, w->height() / 2), to = from + QPoint(dx, dy);
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &move);
    QApplication::sendEvent(w, &release);
    pump(300);
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

TEST_F(VrE2E, TwoVrPlayersShareTheRuntimeUntilTheLastIsDeleted)
{
    E2EHost first("CreateHwVr", true, QSize(320, 160));
    E2EHost second("CreateHwVr", true, QSize(320, 160));
    for (E2EHost *host : {&first, &second}) {
        ASSERT_EQ(host->loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
        host->player()->play();
    }
    ASSERT_TRUE(waitForFrames(10));
    EXPECT_EQ(sim.events("IS"), "I") << "one session for both players";

    deletePlayer(first);
    EXPECT_EQ(sim.events("IS"), "I") << "deleting one player shut the runtime down under the other";
    ASSERT_TRUE(waitForFrames(10)) << "the remaining player no longer reaches the headset";

    deletePlayer(second);
    EXPECT_EQ(sim.events("IS"), "IS");
}

// A runtime that does not offer the system interface counts as no headset:
// the widget shows one view that the mouse turns (4 pixels per degree).
TEST_F(VrE2E, WithoutAHeadsetTheMouseLooksAround)
{
    sim.reset(0);
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    ASSERT_EQ(host.loadAndWait(mediaPath("equirect.mp4")), EventLoaded);
    host.player()->play();
    pump(1000);
    // Ahead is the border of the green and blue quarters, over the whole widget.
    QImage image = host.grabWidget();
    expectAt(image, 0.25, 0.5, QColor(0, 255, 0));
    expectAt(image, 0.45, 0.5, QColor(0, 255, 0));
    expectAt(image, 0.55, 0.5, QColor(0, 0, 255));
    expectAt(image, 0.75, 0.5, QColor(0, 0, 255));

    drag(host, 180, 0); // 45 degrees left: the green quarter's middle
    image = host.grabWidget();
    expectAt(image, 0.5, 0.5, QColor(0, 255, 0));
    expectAt(image, 0.1, 0.5, QColor(255, 0, 0));

    drag(host, 0, 400); // straight up: the picture's top row
    expectAt(host.grabWidget(), 0.5, 0.5, QColor(255, 255, 255));

    deletePlayer(host);
    EXPECT_EQ(sim.events("LRW"), "") << "something was given to a compositor";
}

// A top-bottom stereoscopic file as Matroska marks it: the top half (red) is
// the left eye's, the bottom half (blue) the right eye's.
TEST_F(VrE2E, TopBottomStereoFileGivesEachEyeItsHalf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString clip = dir.filePath(QStringLiteral("top-bottom.mkv"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=512x512:r=25:d=4", "-vf",
                  "drawbox=x=0:y=256:w=512:h=256:color=blue:t=fill", "-metadata:s:v", "stereo_mode=top_bottom",
                  "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", clip});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) << ffmpeg.readAllStandardError().data();

    sim.pose(0, 0, 0.0f, -1.0f, -3.0f);
    E2EHost host("CreateHwVr", true, QSize(320, 160));
    ASSERT_EQ(host.loadAndWait(clip.toStdString()), EventLoaded);
    host.player()->play();
    ASSERT_TRUE(waitForFrames(20));
    expectHalves(host, QColor(255, 0, 0), QColor(0, 0, 255));
    deletePlayer(host);
}
