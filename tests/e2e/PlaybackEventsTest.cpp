// Events, state and clock as a host sees them, also when the host issues
// commands from inside its callbacks the way looping, playlist and
// self-deleting hosts do; the player's threads and the hardware factory.
// Hosts' actions are written as scripts (E2EHost::run).
#include "e2e/E2EHost.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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

TEST(E2EEvents, PlaybackRaisesTheDocumentedSequencesToEveryListener)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    Codes late, seen;
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
    // Runs script and expects the codes it raised (with the time events, or without).
    auto step = [&](const char *script, const Codes &codes, bool withTimes = true) {
        const size_t mark = host.eventCount();
        host.run(script);
        EXPECT_EQ(host.codesSince(mark, withTimes), codes) << script;
    };
    step("open:h264_aac.mp4", {EventLoaded});
    EXPECT_TRUE(late.empty()) << "callbacks added while EventLoaded is delivered do not hear it";
    EXPECT_NEAR(double(p->duration()), 4000.0, 100.0);
    EXPECT_EQ(p->videoWidth(), 320);
    EXPECT_EQ(p->videoHeight(), 240);

    // Commands are synchronous: their state event arrives before they return.
    step("play", {EventPlaying});
    EXPECT_TRUE(p->isPlaying());
    EXPECT_EQ(late, Codes{EventPlaying}) << "one added callback per EventLoaded delivery";
    host.run("wait:1000"); // time events come from the ticker
    EXPECT_GT(host.count(EventTimeChanged), 20);
    EXPECT_GT(p->currentTime(), 500u);

    step("pause", {EventPaused});
    EXPECT_EQ(seen, (Codes{1, 2, 3}));
    host.run("wait:100"); // let queued time events drain
    const uint64_t pausedAt = p->currentTime();
    step("wait:400", {}); // no time events while paused
    EXPECT_EQ(p->currentTime(), pausedAt);
    // Stop from Paused: EventStopped, then the time event of position 0;
    // refused commands are silent.
    step("stop", {EventStopped, EventTimeChanged});
    EXPECT_EQ(p->currentTime(), 0u);
    step("stop pause", {});

    // A second load while playing stops the first, silently at position 0
    // (the end: CommandsDuringASeekAndAroundTheEndAreHonoured).
    step("play wait:300 open:seconds.mp4", {EventPlaying, EventStopped, EventLoaded}, false);
    EXPECT_EQ(p->currentTime(), 0u);
    EXPECT_FALSE(p->isPlaying());

    // A seek from Loaded ends Paused, so a host that plays on EventLoaded does
    // not start; the position is at the target at once and stays there.
    p->setCurrentTime(2000);
    EXPECT_EQ(p->currentTime(), 2000u);
    step("await:Paused", {EventPaused}, false);
    EXPECT_TRUE(clockAgreesWithState(p));
    EXPECT_EQ(p->currentTime(), 2000u);

    // A seek while playing ends Playing; a second seek before the first
    // completes moves the target.
    host.run("play wait:300 seek:5000 seek:1000 await:Playing wait:200");
    EXPECT_TRUE(p->isPlaying());
    EXPECT_GE(p->currentTime(), 1000u);
    EXPECT_LT(p->currentTime(), 3000u);
    EXPECT_EQ(host.count(4), 0) << "no undocumented event code";
}

// Every command is carried out in every state: during a seek, after the end,
// beyond the end. Each row: a script from a freshly loaded seconds.mp4
// (8 s), the state codes it raises from its last word on, and where it ends.
TEST(E2EEvents, CommandsDuringASeekAndAroundTheEndAreHonoured)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    struct Row {
        const char *script, *last;
        Codes codes;
        bool playing;
        uint64_t from, to;
    };
    const Row rows[] = {
        {"play wait:300 seek:5000", "stop", {EventStopped}, false, 0, 0},
        {"seek:5000", "stop", {EventStopped}, false, 0, 0},
        {"play wait:300 seek:5000", "pause await:Paused", {EventPaused}, false, 5000, 5000},
        {"seek:5000", "play await:Playing", {EventPlaying}, true, 5000, 7000},
        {"play wait:300 stop", "seek:3000 await:Paused", {EventPaused}, false, 3000, 3000},
        // Beyond the end the media ends, as playing to it does, and stays within it.
        {"play wait:300", "seek:9000", {EventFinished, EventFinished}, false, 8000, 8000},
        {"seek:9000", "play await:Playing", {EventPlaying}, true, 0, 2000},
        // A seek after the end pauses at the target, and play goes on from there.
        {"seek:9000 seek:3000 await:Paused", "play", {EventPlaying}, true, 3000, 5000},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.script) + " | " + row.last);
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        ASSERT_TRUE(host.run(std::string("open:seconds.mp4 ") + row.script));
        const size_t mark = host.eventCount();
        host.run(std::string(row.last) + " wait:300");
        EXPECT_EQ(host.codesSince(mark), row.codes);
        EXPECT_EQ(p->isPlaying(), row.playing);
        EXPECT_GE(p->currentTime(), row.from);
        EXPECT_LE(p->currentTime(), row.to);
        EXPECT_LE(p->currentTime(), uint64_t(p->duration()));
    }

    // A command inside the first EventFinished: the second is not sent.
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    bool looped = false;
    p->addListener([&](int code) {
        if (code == EventFinished && !std::exchange(looped, true))
            p->play();
    });
    ASSERT_TRUE(host.run("open:h264_aac.mp4 seek:3700 await:Paused play await:Finished wait:300"));
    EXPECT_EQ(host.count(EventFinished), 1);
    EXPECT_TRUE(p->isPlaying());
}

TEST(E2EEvents, FailedLoadsKeepThePathALaterLoadPlaysAndVolumeIsClamped)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    // Garbage bytes under a name no demuxer claims: FFmpeg's "bin" demuxer
    // takes garbage.bin itself for its extension and opens it as a picture.
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/e2e_garbage.dat";
    std::ofstream(garbage, std::ios::binary) << std::ifstream(mediaPath("garbage.bin"), std::ios::binary).rdbuf();
    // Missing, unreadable, and wider than the player takes.
    for (const std::string &path : {mediaPath("no_such_file.mp4"), garbage, mediaPath("wide_17000.mkv")}) {
        SCOPED_TRACE(path);
        const size_t mark = host.eventCount();
        host.run("load:" + path + " await:LoadFailed play seek:1000"); // refused in LoadFailed, silently
        EXPECT_EQ(p->filePath(), QString::fromStdString(path));
        const PlayerStatistics s = p->statistics(); // nothing is left of any file
        EXPECT_EQ(p->duration() + p->videoWidth() + s.videoDecodeRate + s.audioDecodeRate, 0);
        EXPECT_EQ(host.codesSince(mark, true), Codes{EventLoadFailed});
    }
    // Then a file plays, and the statistics follow decoding and painting.
    host.run("open:seconds.mp4 play");
    EXPECT_TRUE(p->isPlaying());
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
    const std::pair<float, float> volumes[] = {{1.5f, 1.0f}, {-0.2f, 0.0f}, {0.999f, 0.99f}};
    for (const auto &[set, got] : volumes) {
        p->setVolume(set);
        EXPECT_NEAR(p->volume(), got, 1e-6) << set;
    }
    p->setRenderMode(2);
    p->setRenderMode(7);
    EXPECT_EQ(p->renderMode(), 2);
}

// A host script run from inside the first event of a kind leaves the player
// in the state it announces, its clock agreeing, and answering commands.
TEST(E2EEvents, CommandInsideAnEventLeavesTheStateItAnnounces)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const char nearTheEnd[] = "open:h264_aac.mp4 seek:3600 await:Paused", playing[] = "open:seconds.mp4 play wait:500";
    const struct {
        const char *prepare, *trigger; // prepare runs before the reaction is armed
        int event;
        const char *command; // empty: the trigger alone is the test
        bool playing;
        uint64_t from, to; // where the clock is afterwards
        int64_t durationMs;
    } rows[] = {
        // Looping and playlist hosts: the end handling must not undo their commands.
        {nearTheEnd, "play", EventFinished, "play load:seconds.mp4 play", true, 0, 2000, 8000},
        {playing, "pause play", EventPlaying, "stop", false, 0, 0, 8000}, // the next play starts at 0
        {playing, "", EventTimeChanged, "seek:6000", true, 6000, 8000, 8000},
        {"", "load:seconds.mp4", EventLoaded, "play", true, 100, 3000, 8000},
        {"", "load:h264_aac.mp4", EventLoaded, "seek:1500 stop", false, 0, 0, 4000},
        // A load during a seek is answered, and the abandoned seek's
        // completion does not come back later to play.
        {playing, "seek:6000 load:h264_aac.mp4", EventLoaded, "", false, 0, 0, 4000},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.prepare) + " | " + r.trigger + " | " + r.command);
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        host.run(r.prepare);
        bool reacted = false;
        p->addListener([&](int code) {
            if (code == r.event && !std::exchange(reacted, true))
                host.run(r.command);
        });
        MessageCapture messages;
        host.run(r.trigger);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reacted; }, 15000));
        QTest::qWait(400); // whatever the player does on after the event
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return p->isPlaying() == r.playing && p->currentTime() >= r.from && p->currentTime() <= r.to; },
            10000))
            << "playing " << p->isPlaying() << " at " << p->currentTime();
        EXPECT_TRUE(clockAgreesWithState(p));
        EXPECT_NEAR(double(p->duration()), double(r.durationMs), 100.0);
        EXPECT_FALSE(messages.contains("another thread", QtWarningMsg));
        if (!r.playing) {
            p->play();
            EXPECT_TRUE(p->isPlaying());
            EXPECT_LT(p->currentTime(), r.to + 200);
        }
    }
}

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
            if (code == victim && !std::exchange(deleted, true))
                host.destroyPlayer();
        });
        // Registered after the deleting one: never called once the player is gone.
        host.player()->addListener([&](int) { laterCalls += deleted; });
        // A seek ends with the state it left, announced: Paused after a load or a stop.
        host.run("load:h264_aac.mp4 seek:3600 await:Paused play pause stop seek:3600 await:Paused play "
                 "await:Finished");
        EXPECT_TRUE(deleted);
        EXPECT_EQ(laterCalls, 0);
        QTest::qWait(100); // events queued before the delete must not reach anything
    }
}

// The completion of a seek starts the audio output through the GUI thread and
// waits for it there, while deleting the player joins the demux thread: the
// deletion must serve that call instead of waiting for the thread that waits
// (a hang ends the test by its time-out). Every thread is joined before the
// delete returns.
TEST(E2EEvents, DeletingAPlayingPlayerEndsEveryThreadItStarted)
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

TEST(E2EEvents, HardwareFactoryFallsBackToTheSoftwareConverter)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const QString refused = "Video format is not supported by CUDA converter. Software converter will be used. ";
    MessageCapture messages;
    ASSERT_TRUE(E2EHost("CreateSw").run("open:seconds.mp4"));
    EXPECT_EQ(messages.count(refused), 0) << "the software factory never tries the CUDA converter";
    {
        // No GPU here: the decoder gives yuv420p (0), which the CUDA converter does not take.
        E2EHost hw("CreateHw");
        ASSERT_TRUE(hw.run("open:seconds.mp4"));
        EXPECT_EQ(messages.count(refused + "0", QtWarningMsg), 1);
        hw.run("play");
        EXPECT_EQ(hw.followSeconds(2), 2);
    }
    // rgb0 is a CUDA-converter format: taken by it when built in (failing
    // without a GPU), else refused with the warning. Either way it plays.
    E2EHost hw("CreateHw");
    ASSERT_TRUE(hw.run("open:rgb0.nut"));
#ifdef PLA_CUDA_CONVERTER
    EXPECT_EQ(messages.count(refused), 1);
#else
    EXPECT_EQ(messages.count(refused), 2);
#endif
    EXPECT_TRUE(hw.run("play await:Finished wait:300"));
    EXPECT_EQ(hw.count(EventFinished), 2);
}
