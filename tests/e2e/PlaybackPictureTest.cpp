// What the host sees in its window, and the player's lifecycle as a host
// drives it: late showing, reloads, threads, the hardware factory.
#include "e2e/E2EHost.h"

#include <QDir>
#include <QLoggingCategory>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Threads of this process; playerOnly: those the player names.
int threads(bool playerOnly = false)
{
    int n = 0;
    for (const QString &id : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::string name;
        std::getline(std::ifstream(("/proc/self/task/" + id + "/comm").toStdString()), name);
        n += !playerOnly || name == "ticker" || name == "demux" || name == "repaint";
    }
    return n;
}

} // namespace

TEST(E2EPicture, PictureFollowsPlayPauseSeekStopAndReload)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_TRUE(host.run("open:seconds.mp4 play"));
    EXPECT_EQ(host.followSeconds(3), 3);

    // Paused: the picture of the paused position stays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return p->currentTime() % 1000 > 300 && p->currentTime() % 1000 < 600; }, 3000));
    host.run("pause wait:300");
    const uint64_t second = p->currentTime() / 1000;
    const QColor paused = host.centreColour();
    EXPECT_TRUE(near(paused, kSecondColour[second]) || (second > 0 && near(paused, kSecondColour[second - 1])))
        << paused.name().toStdString();
    host.run("wait:700");
    EXPECT_TRUE(near(host.centreColour(), paused));

    // A seek while paused shows the picture of the target second; stop keeps it.
    ASSERT_TRUE(host.run("seek:3000 await:Paused"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(host.centreColour(), kSecondColour[3]); }, 5000))
        << host.centreColour().name().toStdString();
    host.run("stop wait:500");
    EXPECT_TRUE(near(host.centreColour(), kSecondColour[3])) << host.centreColour().name().toStdString();

    // A new load takes the previous picture away.
    ASSERT_TRUE(host.run("open:seconds.mp4 wait:300"));
    EXPECT_FALSE(near(host.centreColour(), kSecondColour[3])) << "the previous picture is gone";
    host.run("play");
    EXPECT_EQ(host.followSeconds(2), 2);
}

TEST(E2EPicture, LoadBeforeTheWidgetIsShownThenShowIt)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host("CreateSw", /*show=*/false);
    ASSERT_TRUE(host.run("open:seconds.mp4 play wait:200"));
    host.showWindow();
    // The first paints of a window that has just been mapped take a moment to
    // reach the screen.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !near(host.centreColour(), QColor(0, 0, 0), 10); }, 5000));
    EXPECT_EQ(host.followSeconds(2), 2);
}

// The completion of a seek starts the audio output through the GUI thread and
// waits for it there, while deleting the player joins the demux thread: the
// deletion must serve that call instead of waiting for the thread that waits
// (a hang ends the test by its time-out). Every thread is joined before the
// delete returns.
TEST(E2EPicture, DeletingAPlayingPlayerEndsEveryThreadItStarted)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    int before = 0;
    for (int i = 0; i < 12; ++i) {
        if (i == 1) { // Qt and PulseAudio start threads of their own on first use
            QTest::qWait(300);
            before = threads();
        }
        E2EHost host;
        ASSERT_TRUE(host.run("open:h264_aac.mp4 play wait:" + std::to_string(100 + (i % 4) * 20)));
        EXPECT_TRUE(i > 0 || threads(true) >= 2) << "the ticker and the repaint thread run";
        host.player()->setCurrentTime(1500 + i * 37);
        host.destroyPlayer();
        EXPECT_EQ(threads(true), 0) << "joined before delete returns";
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return threads() <= before; }, 5000))
        << threads() << " threads, " << before << " before";
}

TEST(E2EPicture, HardwareFactoryFallsBackToTheSoftwareConverter)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const QString refused = "Video format is not supported by CUDA converter. Software converter will be used. ";
    // The fallback is a debug line: shown only when a rule asks for it.
    QLoggingCategory::setFilterRules(QStringLiteral("playerlibav.engine.debug=true"));
    MessageCapture messages;
    ASSERT_TRUE(E2EHost("CreateSw").run("open:seconds.mp4"));
    EXPECT_EQ(messages.count(refused), 0) << "the software factory never tries the CUDA converter";
    {
        // No GPU here: the decoder gives yuv420p (0), which the CUDA converter does not take.
        E2EHost hw("CreateHw");
        ASSERT_TRUE(hw.run("open:seconds.mp4"));
        EXPECT_EQ(messages.count(refused + "0", QtDebugMsg), 1);
        hw.run("play");
        EXPECT_EQ(hw.followSeconds(2), 2);
    }
    // rgb0 is a CUDA-converter format: taken by it when built in (failing
    // without a GPU), else refused with the debug line. Either way it plays.
    E2EHost hw("CreateHw");
    ASSERT_TRUE(hw.run("open:rgb0.nut"));
#ifdef PLA_CUDA_CONVERTER
    EXPECT_EQ(messages.count(refused), 1);
#else
    EXPECT_EQ(messages.count(refused), 2);
#endif
    EXPECT_TRUE(hw.run("play await:Finished wait:300"));
    EXPECT_EQ(hw.count(EventFinished), 2);
    QLoggingCategory::setFilterRules(QString());
}
