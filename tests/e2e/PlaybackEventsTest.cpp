// Events, state and clock as a host sees them, also when the host issues
// commands from inside its callbacks the way looping, playlist and
// self-deleting hosts do.
#include "e2e/E2EHost.h"

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <utility>

namespace {

using Codes = std::vector<int>;

// Whether the clock advances (playing) or stands (otherwise) over 300 ms.
bool clockAgreesWithState(IMediaPlayer2 *p)
{
    const uint64_t before = p->currentTime();
    QTest::qWait(300);
    return p->isPlaying() ? p->currentTime() > before : p->currentTime() == before;
}


} // namespace

TEST(E2EEvents, PlaybackRaisesTheDocumentedSequences)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    EXPECT_EQ(host.codesSince(0, true), Codes{EventLoaded});
    EXPECT_NEAR(double(p->duration()), 4000.0, 100.0);
    EXPECT_EQ(p->videoWidth(), 320);
    EXPECT_EQ(p->videoHeight(), 240);

    // Commands are synchronous: their state event arrives before they return.
    size_t mark = host.eventCount();
    p->play();
    EXPECT_EQ(host.codesSince(mark, true), Codes{EventPlaying});
    EXPECT_TRUE(p->isPlaying());

    // Time events come from the ticker, thinned to at most one per 11 ms.
    const qint64 windowStart = host.nowUs();
    QTest::qWait(1000);
    const int times = host.count(EventTimeChanged);
    EXPECT_GT(times, 20);
    EXPECT_LE(times, int((host.nowUs() - windowStart) / 11000) + 2);
    EXPECT_GT(p->currentTime(), 500u);

    mark = host.eventCount();
    p->pause();
    EXPECT_EQ(host.codesSince(mark, true), Codes{EventPaused});
    QTest::qWait(100); // let queued time events drain
    const uint64_t pausedAt = p->currentTime();
    mark = host.eventCount();
    QTest::qWait(400);
    EXPECT_EQ(host.codesSince(mark, true), Codes{}) << "no time events while paused";
    EXPECT_EQ(p->currentTime(), pausedAt);

    // Stop from Paused: EventStopped, then the time event of position 0;
    // refused commands are silent.
    p->stop();
    EXPECT_EQ(host.codesSince(mark, true), (Codes{EventStopped, EventTimeChanged}));
    EXPECT_EQ(p->currentTime(), 0u);
    mark = host.eventCount();
    p->stop();
    p->pause();
    EXPECT_EQ(host.codesSince(mark, true), Codes{});

    // The end: EventFinished twice, then play starts again from 0.
    p->play();
    ASSERT_TRUE(host.waitForEvent(EventFinished, 15000, mark));
    QTest::qWait(300);
    EXPECT_EQ(host.codesSince(mark), (Codes{EventPlaying, EventFinished, EventFinished}));
    EXPECT_FALSE(p->isPlaying());
    EXPECT_GE(p->currentTime(), uint64_t(p->duration()) - 50);
    p->play();
    QTest::qWait(300);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_LT(p->currentTime(), 2000u);
    EXPECT_EQ(host.count(4), 0) << "no undocumented event code";

    // A second load while playing stops the first, silently at position 0.
    mark = host.eventCount();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    EXPECT_EQ(host.codesSince(mark), (Codes{EventStopped, EventLoaded}));
    EXPECT_EQ(p->currentTime(), 0u);
    EXPECT_FALSE(p->isPlaying());

    // A seek from Loaded ends Paused, so a host that plays on EventLoaded does
    // not start; the position is at the target at once and stays there.
    mark = host.eventCount();
    p->setCurrentTime(2000);
    EXPECT_EQ(p->currentTime(), 2000u);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
    EXPECT_EQ(host.codesSince(mark), Codes{EventPaused});
    EXPECT_TRUE(clockAgreesWithState(p));
    EXPECT_EQ(p->currentTime(), 2000u);

    // A seek while playing ends Playing; a second seek before the first
    // completes is refused.
    p->play();
    QTest::qWait(300);
    mark = host.eventCount();
    p->setCurrentTime(5000);
    p->setCurrentTime(1000);
    ASSERT_TRUE(host.waitForEvent(EventPlaying, 10000, mark));
    QTest::qWait(200);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_GE(p->currentTime(), 5000u);
    EXPECT_LT(p->currentTime(), 7000u);
}

TEST(E2EEvents, FailedLoadsKeepThePathAndALaterLoadWorks)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    // Garbage bytes under a name no demuxer claims: FFmpeg's "bin" demuxer
    // takes garbage.bin itself for its extension and opens it as a picture.
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/e2e_garbage.dat";
    std::ofstream(garbage, std::ios::binary) << std::ifstream(mediaPath("garbage.bin"), std::ios::binary).rdbuf();
    // Missing, unreadable, without video, and wider than the player takes.
    for (const std::string &path :
         {mediaPath("no_such_file.mp4"), garbage, mediaPath("audio_only.m4a"), mediaPath("wide_17000.mkv")}) {
        SCOPED_TRACE(path);
        const size_t mark = host.eventCount();
        EXPECT_EQ(host.loadAndWait(path), EventLoadFailed);
        EXPECT_EQ(p->filePath(), QString::fromStdString(path));
        EXPECT_EQ(p->duration(), 0);
        EXPECT_EQ(p->videoWidth(), 0);
        EXPECT_EQ(p->statistics().videoDecodeRate + p->statistics().audioDecodeRate, 0);
        p->play(); // refused in LoadFailed, silently
        p->setCurrentTime(1000);
        EXPECT_EQ(host.codesSince(mark, true), Codes{EventLoadFailed});
    }
    EXPECT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    p->play();
    EXPECT_TRUE(p->isPlaying());
}

TEST(E2EEvents, StatisticsFollowDecodingAndPaintingAndVolumeIsClamped)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    p->play();
    // seconds.mp4: 30 pictures and about 43 AAC frames a second.
    PlayerStatistics s{};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            s = p->statistics();
            return s.videoDecodeRate >= 15 && s.videoDecodeRate <= 50 && s.audioDecodeRate >= 20 &&
                   s.audioDecodeRate <= 70 && s.renderRate > 0;
        },
        6000))
        << "video " << s.videoDecodeRate << " audio " << s.audioDecodeRate << " render " << s.renderRate;

    // Volume is kept in whole percent within 0..1; unknown render modes are ignored.
    const std::pair<float, float> volumes[] = {{0.5f, 0.5f}, {1.5f, 1.0f}, {-0.2f, 0.0f}, {0.999f, 0.99f}};
    for (const auto &[set, got] : volumes) {
        p->setVolume(set);
        EXPECT_NEAR(p->volume(), got, 1e-6) << set;
    }
    p->setRenderMode(2);
    p->setRenderMode(7);
    EXPECT_EQ(p->renderMode(), 2);
}

namespace {

// One command issued from inside the first event of a kind, and the state and
// clock the player is in afterwards.
struct Reaction {
    const char *name;
    std::function<void(E2EHost &)> prepare; // before the reaction is armed
    std::function<void(IMediaPlayer2 *)> trigger;
    int event;
    std::function<void(IMediaPlayer2 *)> command; // none: the trigger alone is the test
    bool playing;
    uint64_t from, to; // where the clock is afterwards
    int64_t durationMs;
};

void playNearTheEnd(E2EHost &host)
{
    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    const size_t mark = host.eventCount();
    host.player()->setCurrentTime(3600);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
}

void playSeconds(E2EHost &host)
{
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    host.player()->play();
    QTest::qWait(500);
}

const QString kSeconds = QString::fromStdString(mediaPath("seconds.mp4"));
const QString kFourSeconds = QString::fromStdString(mediaPath("h264_aac.mp4"));
auto play = [](IMediaPlayer2 *p) { p->play(); };

void PrintTo(const Reaction &r, std::ostream *os)
{
    *os << r.name;
}

class E2ECallbacks : public ::testing::TestWithParam<Reaction> {};

} // namespace

TEST_P(E2ECallbacks, CommandInsideAnEventLeavesTheStateItAnnounces)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const Reaction &r = GetParam();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    if (r.prepare)
        r.prepare(host);
    bool reacted = false;
    p->addListener([&](int code) {
        if (code == r.event && !std::exchange(reacted, true) && r.command)
            r.command(p);
    });
    MessageCapture messages;
    r.trigger(p);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reacted; }, 15000));
    QTest::qWait(400); // whatever the player does on after the event
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return p->isPlaying() == r.playing && p->currentTime() >= r.from && p->currentTime() <= r.to; }, 10000))
        << "playing " << p->isPlaying() << " at " << p->currentTime();
    EXPECT_TRUE(clockAgreesWithState(p));
    EXPECT_NEAR(double(p->duration()), double(r.durationMs), 100.0);
    EXPECT_FALSE(messages.contains("another thread", QtWarningMsg));
    if (!r.playing) { // and the player answers commands normally afterwards
        p->play();
        EXPECT_TRUE(p->isPlaying());
        EXPECT_LT(p->currentTime(), r.to + 200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, E2ECallbacks,
    ::testing::Values(
        // Looping: the end handling must not undo the host's play, which starts from 0.
        Reaction{"PlayInFinished", playNearTheEnd, play, EventFinished, play, true, 0, 2000, 4000},
        Reaction{"LoadInFinished", playNearTheEnd, play, EventFinished,
                 [](IMediaPlayer2 *p) {
                     p->load(kSeconds);
                     p->play();
                 }, true, 0, 2000, 8000},
        // Really playing again, on from the pause point.
        Reaction{"PlayInPaused", playSeconds, [](IMediaPlayer2 *p) { p->pause(); }, EventPaused, play, true, 300, 3000,
                 8000},
        // Stopped at 0, and the next play starts there.
        Reaction{"StopInPlaying", playSeconds, [](IMediaPlayer2 *p) {
                     p->pause();
                     p->play();
                 }, EventPlaying,
                 [](IMediaPlayer2 *p) { p->stop(); }, false, 0, 0, 8000},
        Reaction{"SeekInTimeChanged", playSeconds, [](IMediaPlayer2 *) {}, EventTimeChanged,
                 [](IMediaPlayer2 *p) { p->setCurrentTime(6000); }, true, 6000, 8000, 8000},
        Reaction{"PlayInLoaded", nullptr, [](IMediaPlayer2 *p) { p->load(kSeconds); }, EventLoaded, play, true, 100,
                 3000, 8000},
        Reaction{"SeekAndStopInLoaded", nullptr, [](IMediaPlayer2 *p) { p->load(kFourSeconds); }, EventLoaded,
                 [](IMediaPlayer2 *p) {
                     p->setCurrentTime(1500);
                     p->stop();
                 }, false, 0, 1500, 4000},
        // A load while a seek is under way is answered, and the abandoned
        // seek's completion does not come back later to play.
        Reaction{"LoadDuringASeek", playSeconds, [](IMediaPlayer2 *p) {
                     p->setCurrentTime(6000);
                     p->load(kFourSeconds);
                 },
                 EventLoaded, nullptr, false, 0, 0, 4000}),
    [](const ::testing::TestParamInfo<Reaction> &info) { return std::string(info.param.name); });

TEST(E2EEvents, DeletingThePlayerInsideAnyEventIsSafe)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    // Each command's own event, and the queued end of a seek and of the media.
    for (int victim : {EventLoaded, EventPlaying, EventPaused, EventStopped, EventTimeChanged, EventFinished}) {
        SCOPED_TRACE(victim);
        E2EHost host;
        bool deleted = false;
        int laterCalls = 0;
        host.player()->addListener([&](int code) {
            if (code == victim && !deleted) {
                deleted = true;
                host.destroyPlayer();
            }
        });
        // Registered after the deleting one: never called once the player is gone.
        host.player()->addListener([&](int) { laterCalls += deleted; });
        auto waitUntil = [&](int code, int times) {
            (void)QTest::qWaitFor([&] { return deleted || host.count(code) >= times; }, 20000);
        };
        // Each step runs only while the player still exists.
        const std::vector<std::function<void(IMediaPlayer2 *)>> steps = {
            [](IMediaPlayer2 *q) { q->load(kFourSeconds); },
            [](IMediaPlayer2 *q) { q->setCurrentTime(3600); },
            [&](IMediaPlayer2 *) { waitUntil(EventPaused, 1); }, // a seek from Loaded ends Paused
            play,
            [](IMediaPlayer2 *q) { q->pause(); },
            [](IMediaPlayer2 *q) { q->stop(); },
            [](IMediaPlayer2 *q) { q->setCurrentTime(3600); },
            [&](IMediaPlayer2 *) { waitUntil(EventStopped, 2); },
            play,
            [&](IMediaPlayer2 *) { waitUntil(EventFinished, 1); },
        };
        for (const auto &step : steps)
            if (!deleted)
                step(host.player());
        EXPECT_TRUE(deleted);
        EXPECT_EQ(laterCalls, 0);
        QTest::qWait(100); // events queued before the delete must not reach anything
    }
}

TEST(E2EEvents, ListenersKeepTheirStateAndLateOnesWaitForTheNextEvent)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    std::vector<int> late, seen;
    // A mutable lambda counts in its own copy of n: the player must call the
    // callback it holds, not a fresh copy each time.
    p->addListener([&seen, n = 0](int code) mutable {
        if (code != EventTimeChanged)
            seen.push_back(++n);
    });
    int adds = 0;
    p->addListener([&](int code) {
        if (code == EventLoaded && adds++ < 50) // many, so the list must grow during delivery
            p->addListener([&late](int c) { late.push_back(c); });
    });
    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    EXPECT_TRUE(late.empty()) << "callbacks added while EventLoaded is delivered do not hear it";
    p->play();
    EXPECT_EQ(late, Codes{EventPlaying}) << "one added callback per EventLoaded delivery";
    p->pause();
    EXPECT_EQ(seen, (Codes{1, 2, 3}));
}
