// What the host sees in its window, and the player's lifecycle as a host
// drives it: late showing, reloads, threads, the hardware factory.
#include "e2e/E2EHost.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

std::vector<std::string> threadNames()
{
    std::vector<std::string> names;
    for (const QString &id : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream comm(("/proc/self/task/" + id + "/comm").toStdString());
        std::getline(comm, names.emplace_back());
    }
    return names;
}

// Threads the player names.
int playerThreads()
{
    const std::vector<std::string> names = threadNames();
    return int(std::count_if(names.begin(), names.end(),
                             [](const std::string &n) { return n == "ticker" || n == "demux" || n == "repaint"; }));
}

} // namespace

TEST(E2EPicture, PictureFollowsPlayPauseSeekStopAndReload)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    p->play();
    EXPECT_EQ(host.followSeconds(3), 3);

    // Paused: the picture of the paused position stays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return p->currentTime() % 1000 > 300 && p->currentTime() % 1000 < 600; }, 3000));
    p->pause();
    const uint64_t second = p->currentTime() / 1000;
    QTest::qWait(300);
    const QColor paused = host.centreColour();
    EXPECT_TRUE(near(paused, kSecondColour[second]) || (second > 0 && near(paused, kSecondColour[second - 1])))
        << paused.name().toStdString();
    QTest::qWait(700);
    EXPECT_TRUE(near(host.centreColour(), paused));

    // A seek while paused shows the picture of the target second; stop keeps it.
    const size_t mark = host.eventCount();
    p->setCurrentTime(3000);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(host.centreColour(), kSecondColour[3]); }, 5000))
        << host.centreColour().name().toStdString();
    p->stop();
    QTest::qWait(500);
    EXPECT_TRUE(near(host.centreColour(), kSecondColour[3])) << host.centreColour().name().toStdString();

    // A new load takes the previous picture away.
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    QTest::qWait(300);
    EXPECT_FALSE(near(host.centreColour(), kSecondColour[3])) << "the previous picture is gone";
    p->play();
    EXPECT_EQ(host.followSeconds(2), 2);
}

TEST(E2EPicture, LoadBeforeTheWidgetIsShownThenShowIt)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host("CreateSw", /*show=*/false);
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    host.player()->play();
    QTest::qWait(200);
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
    size_t before = 0;
    for (int i = 0; i < 12; ++i) {
        if (i == 1) { // Qt and PulseAudio start threads of their own on first use
            QTest::qWait(300);
            before = threadNames().size();
        }
        E2EHost host;
        ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
        host.player()->play();
        QTest::qWait(100 + (i % 4) * 20);
        if (i == 0) {
            EXPECT_GE(playerThreads(), 2) << "the ticker and the repaint thread run";
        }
        host.player()->setCurrentTime(1500 + i * 37);
        host.destroyPlayer();
        EXPECT_EQ(playerThreads(), 0) << "joined before delete returns";
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return threadNames().size() <= before; }, 5000))
        << threadNames().size() << " threads, " << before << " before";
}

TEST(E2EPicture, HardwareFactoryFallsBackToTheSoftwareConverter)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const QString refused = "Video format is not supported by CUDA converter. Software converter will be used. ";
    MessageCapture messages;
    {
        E2EHost sw("CreateSw");
        ASSERT_EQ(sw.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    }
    EXPECT_EQ(messages.count(refused), 0) << "the software factory never tries the CUDA converter";
    {
        // No GPU here: the decoder gives yuv420p (0), which the CUDA converter does not take.
        E2EHost hw("CreateHw");
        ASSERT_EQ(hw.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
        EXPECT_EQ(messages.count(refused + "0", QtWarningMsg), 1);
        hw.player()->play();
        EXPECT_EQ(hw.followSeconds(2), 2);
    }
    // rgb0 is a CUDA-converter format: taken by it when built in (failing
    // without a GPU), else refused with the warning. Either way it plays.
    E2EHost hw("CreateHw");
    ASSERT_EQ(hw.loadAndWait(mediaPath("rgb0.nut")), EventLoaded);
#ifdef PLA_CUDA_CONVERTER
    EXPECT_EQ(messages.count(refused), 1);
#else
    EXPECT_EQ(messages.count(refused), 2);
#endif
    hw.player()->play();
    EXPECT_TRUE(hw.waitForEvent(EventFinished, 15000));
    QTest::qWait(300);
    EXPECT_EQ(hw.count(EventFinished), 2);
}
