// Commands issued from inside the host's callbacks, the way looping, playlist
// and self-deleting hosts issue them: each must leave the player in the state
// it announces, with a clock that agrees.
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

QStringList gWarnings;
void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        gWarnings << message;
}

class E2ECallbacks : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
    }

    // Loads h264_aac.mp4 (4 s), seeks close to its end and plays.
    static void playIntoTheEnd(E2EHost &host)
    {
        IMediaPlayer2 *p = host.player();
        ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
        const size_t mark = host.events().size();
        p->setCurrentTime(uint64_t(p->duration()) - 400);
        ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
        p->play();
    }

    // Whether the clock advances (playing) or stands (otherwise) over 300 ms.
    static bool clockAgreesWithState(IMediaPlayer2 *p)
    {
        const uint64_t before = p->currentTime();
        pump(300);
        const uint64_t after = p->currentTime();
        return p->isPlaying() ? after > before : after == before;
    }
};

} // namespace

TEST_F(E2ECallbacks, LoopingHostPlaysAgainFromTheFirstFinished)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    int finished = 0;
    p->addListener([&](int code) {
        if (code == EventFinished && ++finished == 1)
            p->play();
    });
    gWarnings.clear();
    qInstallMessageHandler(captureWarnings);
    playIntoTheEnd(host);
    ASSERT_TRUE(waitFor([&] { return finished > 0; }, 10000));
    pump(400);
    qInstallMessageHandler(nullptr);
    EXPECT_FALSE(gWarnings.join("|").contains("another thread")) << gWarnings.join("|").toStdString();
    EXPECT_TRUE(p->isPlaying()) << "the end handling must not undo the host's play";
    EXPECT_LT(p->currentTime(), 2000u) << "play after the end starts from the beginning";
    EXPECT_TRUE(clockAgreesWithState(p));
}

TEST_F(E2ECallbacks, PlaylistHostLoadsFromFinished)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    bool loaded = false;
    p->addListener([&](int code) {
        if (code == EventFinished && !loaded) {
            loaded = true;
            p->load(QString::fromStdString(mediaPath("seconds.mp4")));
            p->play();
        }
    });
    playIntoTheEnd(host);
    ASSERT_TRUE(waitFor([&] { return loaded; }, 10000));
    EXPECT_GE(host.count(EventLoaded), 2);
    pump(400);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_NEAR(double(p->duration()), 8000.0, 100.0);
    EXPECT_TRUE(clockAgreesWithState(p));
}

TEST_F(E2ECallbacks, CommandsInsideStateEventsSeeTheFinishedWork)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    std::function<void(int)> reaction;
    p->addListener([&](int code) {
        if (reaction)
            std::exchange(reaction, nullptr)(code);
    });

    // play() inside EventPaused: really playing, the clock runs on from the
    // pause point.
    p->play();
    pump(500);
    reaction = [&](int code) {
        if (code == EventPaused)
            p->play();
    };
    p->pause();
    EXPECT_TRUE(p->isPlaying());
    const uint64_t resumedAt = p->currentTime();
    EXPECT_GT(resumedAt, 300u);
    EXPECT_TRUE(clockAgreesWithState(p));
    EXPECT_GT(p->currentTime(), resumedAt);

    // stop() inside EventPlaying: stopped at 0, and the next play starts there.
    p->pause();
    reaction = [&](int code) {
        if (code == EventPlaying)
            p->stop();
    };
    p->play();
    EXPECT_FALSE(p->isPlaying());
    EXPECT_EQ(p->currentTime(), 0u);
    EXPECT_TRUE(clockAgreesWithState(p));
    p->play();
    EXPECT_LT(p->currentTime(), 200u);

    // setCurrentTime() inside EventTimeChanged: the seek is carried out.
    const size_t mark = host.events().size();
    reaction = [&](int code) {
        if (code == EventTimeChanged)
            p->setCurrentTime(6000);
    };
    ASSERT_TRUE(waitFor([&] { return !reaction && p->isPlaying() && p->currentTime() >= 6000; }, 10000));
    EXPECT_TRUE(host.waitForEvent(EventPlaying, 5000, mark));
    EXPECT_TRUE(clockAgreesWithState(p));
}

TEST_F(E2ECallbacks, LoadDuringASeekIsAnswered)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    p->play();
    p->setCurrentTime(6000);
    const size_t mark = host.events().size();
    const std::string next = mediaPath("h264_aac.mp4");
    p->load(QString::fromStdString(next));
    ASSERT_TRUE(host.waitForEvent(EventLoaded, 10000, mark)) << "the load must not be dropped";
    EXPECT_EQ(p->filePath(), QString::fromStdString(next));
    EXPECT_NEAR(double(p->duration()), 4000.0, 100.0);
    // The abandoned seek's completion does not come back later.
    pump(500);
    EXPECT_FALSE(p->isPlaying());
    EXPECT_EQ(host.count(EventPlaying), 1) << "only the first play was announced";
    EXPECT_EQ(host.count(EventPaused), 0);
}

TEST_F(E2ECallbacks, DeletingThePlayerInsideAnyEventIsSafe)
{
    // Each command's own event, and the queued end of a seek and of the media.
    const int codes[] = {EventLoaded, EventPlaying, EventPaused, EventStopped, EventTimeChanged, EventFinished};
    for (int victim : codes) {
        SCOPED_TRACE(victim);
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        bool deleted = false;
        int laterCalls = 0;
        p->addListener([&](int code) {
            if (code == victim && !deleted) {
                deleted = true;
                host.destroyPlayer();
            }
        });
        // Registered after the deleting one: never called once the player is gone.
        p->addListener([&](int) { laterCalls += deleted; });
        // Each step runs only while the player still exists.
        const std::vector<std::function<void(IMediaPlayer2 *)>> steps = {
            [](IMediaPlayer2 *q) { q->load(QString::fromStdString(mediaPath("h264_aac.mp4"))); },
            [](IMediaPlayer2 *q) { q->setCurrentTime(3600); },
            // A seek ends with the state it left, announced: Paused after a load.
            [&](IMediaPlayer2 *) { waitFor([&] { return deleted || host.count(EventPaused) > 0; }, 20000); },
            [](IMediaPlayer2 *q) { q->play(); },
            [](IMediaPlayer2 *q) { q->pause(); },
            [](IMediaPlayer2 *q) { q->stop(); },
            [](IMediaPlayer2 *q) { q->setCurrentTime(3600); },
            [&](IMediaPlayer2 *) { waitFor([&] { return deleted || host.count(EventStopped) >= 2; }, 20000); },
            [](IMediaPlayer2 *q) { q->play(); },
            [&](IMediaPlayer2 *) { waitFor([&] { return deleted; }, 20000); },
        };
        for (const auto &step : steps)
            if (!deleted)
                step(host.player());
        EXPECT_TRUE(deleted);
        EXPECT_EQ(laterCalls, 0);
        pump(100); // events queued before the delete must not reach anything
    }
}

TEST_F(E2ECallbacks, EachCallbackKeepsItsOwnState)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    std::vector<int> seen;
    // A mutable lambda counts in its own copy of n: the player must call the
    // callback it holds, not a fresh copy each time.
    p->addListener([&seen, n = 0](int code) mutable {
        if (code != EventTimeChanged)
            seen.push_back(++n);
    });
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    p->play();
    p->pause();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}
