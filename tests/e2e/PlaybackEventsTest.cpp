// Events, state and clock as a host sees them, with commands from inside
// callbacks and host timers; scripts are E2EHost::run's.
#include "e2e/E2EHost.h"

#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

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

// How often time events come is plugin_engine's; what a load reports of the file, e2e_realworld's.
TEST(E2EEvents, PlaybackRaisesTheDocumentedSequencesToEveryListenerAndFailedLoadsLeaveNothing)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    Codes late, seen;
    // The player calls the callback it holds, not a fresh copy: the mutable lambda counts in its own n.
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
    auto step = [&](const std::string &script, const Codes &codes, bool withTimes = true) {
        const size_t mark = host.eventCount();
        host.run(script);
        EXPECT_EQ(host.codesSince(mark, withTimes), codes) << script;
    };
    step("open:h264_aac.mp4", {EventLoaded});
    EXPECT_TRUE(late.empty()) << "callbacks added while EventLoaded is delivered do not hear it";

    // Commands are synchronous: their state event arrives before they return.
    step("play", {EventPlaying});
    EXPECT_EQ(late, Codes{EventPlaying}) << "one added callback per EventLoaded delivery";
    step("wait:500 pause", {EventPaused}, false);
    EXPECT_EQ(seen, (Codes{1, 2, 3}));
    host.run("wait:100"); // let queued time events drain
    step("wait:400", {}); // no time events while paused
    // Stop from Paused: EventStopped, then the time event of position 0; refused commands are silent.
    step("stop", {EventStopped, EventTimeChanged});
    EXPECT_EQ(p->currentTime(), 0u);
    step("stop pause", {});

    // A second load while playing stops the first, silently at position 0.
    step("play wait:300 open:seconds.mp4", {EventPlaying, EventStopped, EventLoaded}, false);
    EXPECT_EQ(p->currentTime(), 0u);
    // A seek's target is the position at once; its end announces the time, then the state.
    host.run("wait:20 seek:2000"); // the wait lets a time event through the 11 ms thinning
    EXPECT_EQ(p->currentTime(), 2000u);
    step("await:Paused", {EventTimeChanged, EventPaused});
    step("seek:2000 wait:100", {}); // to where it is: nothing to do
    for (int code : host.codesSince(0, true))
        EXPECT_NE(code, 4) << "no undocumented event code";

    // A failed load stops the file before it and keeps only its path; play and seek are refused silently.
    const std::string missing = mediaPath("no_such_file.mp4");
    step("load:" + missing + " await:LoadFailed play seek:1000", {EventStopped, EventTimeChanged, EventLoadFailed});
    EXPECT_EQ(p->filePath(), QString::fromStdString(missing));
    PlayerStatistics s = p->statistics();
    EXPECT_EQ(p->duration() + p->videoWidth() + s.videoDecodeRate + s.audioDecodeRate, 0);
    // The statistics follow decoding and painting (30 pictures, about 43 AAC frames a second).
    host.run("open:seconds.mp4 play");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            s = p->statistics();
            return s.videoDecodeRate >= 15 && s.videoDecodeRate <= 50 && s.audioDecodeRate >= 20 &&
                   s.audioDecodeRate <= 70 && s.renderRate > 0;
        },
        6000))
        << "video " << s.videoDecodeRate << " audio " << s.audioDecodeRate << " render " << s.renderRate;

    // Volume is kept in whole percent within 0..1; unknown render modes are ignored.
    for (const auto &[set, got] : {std::pair{1.5f, 1.0f}, std::pair{-0.2f, 0.0f}, std::pair{0.999f, 0.99f}}) {
        p->setVolume(set);
        EXPECT_NEAR(p->volume(), got, 1e-6) << set;
    }
    p->setRenderMode(RenderModeVR);
    p->setRenderMode(7);
    EXPECT_EQ(p->renderMode(), RenderModeVR);
}

// Per row: a script for a fresh player, a command run inside the first event of a kind
// (none: -1), the last script, the state codes raised from then (if given), where it ends.
TEST(E2EEvents, CommandsDuringASeekAroundTheEndAndInsideEventsAreHonoured)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const char s8[] = "open:seconds.mp4 ", nearTheEnd[] = "open:h264_aac.mp4 seek:3600 await:Paused";
    const char *const h4 = "open:h264_aac.mp4", *const h4Playing = "open:h264_aac.mp4 play";
    const struct {
        std::string script;
        int event;
        const char *inside, *last;
        Codes codes = {};
        bool playing = false;
        uint64_t from = 0, to = 0;
        int64_t durationMs = 0;
    } rows[] = {
        {s8 + std::string("play wait:300 seek:5000"), -1, "", "stop", {EventStopped}, false, 0, 0, 8000},
        {s8 + std::string("play wait:300 seek:5000"), -1, "", "pause await:Paused", {EventPaused}, false, 5000, 5000, 8000},
        // A seek from Loaded or after the end pauses at the target, and play goes on from there.
        {s8 + std::string("seek:5000"), -1, "", "play await:Playing", {EventPlaying}, true, 5000, 7000, 8000},
        {s8 + std::string("seek:9000 seek:3000 await:Paused"), -1, "", "play", {EventPlaying}, true, 3000, 5000, 8000},
        // Beyond the end the media ends, as playing to it does, and stays within it.
        {s8 + std::string("play wait:300"), -1, "", "seek:9000", {EventFinished, EventFinished}, false, 8000, 8000, 8000},
        {s8 + std::string("seek:9000"), -1, "", "play await:Playing", {EventPlaying}, true, 0, 2000, 8000},
        // Inside EventFinished the host's commands stand, and after a play there the second one is not sent.
        {nearTheEnd, EventFinished, "play", "play", {EventPlaying, EventFinished, EventPlaying}, true, 0, 2000, 4000},
        {nearTheEnd, EventFinished, "play load:seconds.mp4 play", "play", {}, true, 0, 2000, 8000},
        {s8 + std::string("play wait:500"), EventPlaying, "stop", "pause play", {}, false, 0, 0, 8000},
        {s8 + std::string("play wait:500"), EventTimeChanged, "seek:6000", "", {}, true, 6000, 8000, 8000},
        {"", EventLoaded, "play", "load:seconds.mp4", {}, true, 100, 3000, 8000},
        // A load during a seek is answered; the abandoned seek's completion does not come back to play.
        {s8 + std::string("play wait:500"), EventLoaded, "", "seek:6000 load:h264_aac.mp4", {}, false, 0, 0, 4000},
        // Deleted inside each command's own event and the queued end of a seek and of the media.
        {"", EventLoaded, "delete", "load:h264_aac.mp4"},
        {h4, EventPlaying, "delete", "play"},
        {h4Playing, EventPaused, "delete", "pause"},
        {h4Playing, EventStopped, "delete", "stop"},
        {h4, EventTimeChanged, "delete", "seek:3600"},
        {h4, EventPaused, "delete", "seek:3600"},
        {nearTheEnd, EventFinished, "delete", "play"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.script + " | " + row.inside + " | " + row.last);
        E2EHost host;
        IMediaPlayer2 *p = host.player();
        ASSERT_TRUE(host.run(row.script));
        bool reacted = row.event < 0;
        int callsAfterDelete = 0;
        p->addListener([&](int code) {
            if (code == row.event && !std::exchange(reacted, true))
                host.run(row.inside);
        });
        // Registered after the reacting one: never called once the player is gone.
        p->addListener([&](int) { callsAfterDelete += !host.player(); });
        MessageCapture messages;
        const size_t mark = host.eventCount();
        host.run(row.last);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reacted; }, 15000));
        QTest::qWait(400); // whatever the player does on after the last command
        EXPECT_EQ(callsAfterDelete, 0);
        if (!host.player())
            continue;
        if (!row.codes.empty()) {
            EXPECT_EQ(host.codesSince(mark), row.codes);
        }
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return p->isPlaying() == row.playing && p->currentTime() >= row.from && p->currentTime() <= row.to; },
            10000))
            << "playing " << p->isPlaying() << " at " << p->currentTime();
        EXPECT_TRUE(clockAgreesWithState(p));
        EXPECT_NEAR(double(p->duration()), double(row.durationMs), 100.0);
        EXPECT_FALSE(messages.contains("another thread", QtWarningMsg));
        if (!row.playing) { // and the player answers commands normally afterwards
            p->play();
            EXPECT_TRUE(p->isPlaying());
            EXPECT_LT(p->currentTime(), row.to + 200);
        }
    }
}

// A 1 ms host timer issues random commands and deletes; one firing inside a
// (fenced) library call means the library ran the host's event loop. Each
// round deletes a playing player right after a seek, and its threads are gone
// when delete returns. tools/soak.sh sets PLA_SOAK_OPS and PLA_SOAK_SEED.
TEST(E2EEvents, HostTimersAndDeletesAmongRandomCommands)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const auto env = [](const char *name, unsigned long fallback) {
        const char *value = std::getenv(name);
        return value && *value ? std::stoul(value) : fallback;
    };
    const auto seed = unsigned(env("PLA_SOAK_SEED", std::random_device{}()));
    const unsigned long minCommands = env("PLA_SOAK_OPS", 100);
    std::printf("PLA_SOAK_SEED=%u repeats this run\n", seed);
    std::mt19937 random(seed);
    int inside = 0, reentered = 0, before = 0;
    unsigned long timerCommands = 0;
    std::unique_ptr<E2EHost> host;
    const auto fenced = [&](const std::function<void()> &call) {
        ++inside;
        call();
        --inside;
    };
    const auto newHost = [&] { host = std::make_unique<E2EHost>(random() % 4 ? "CreateSw" : "CreateHw"); };
    const char *commands[] = {"play", "pause", "stop", "seek", "mode", "time", "load:h264_aac.mp4", "load:seconds.mp4",
                              "load:vp9_opus.webm", "load:audio_only.m4a", "load:truncated.mp4", "load:no_such_file.mp4"};
    const auto command = [&] {
        if (!host || !host->player())
            return;
        const std::string c = commands[random() % std::size(commands)];
        IMediaPlayer2 *p = host->player();
        fenced([&] {
            if (c == "mode")
                p->setRenderMode(int(random() % 6) - 1);
            else if (c == "time")
                (void)p->currentTime(), (void)p->statistics();
            else
                host->run(c == "seek" ? "seek:" + std::to_string(random() % 9000) : c);
        });
    };
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        reentered += inside > 0;
        if (!host || !host->player() || random() % 4 != 0)
            return;
        ++timerCommands;
        random() % 60 == 0 ? fenced([&] { host->destroyPlayer(); }) : command();
    });
    // At least a dozen players (a sanitizer's slowdown makes rounds slower, not fewer).
    for (int round = 0; round < 12 || timerCommands < minCommands; ++round) {
        if (round == 1) { // Qt and PulseAudio start threads of their own on first use
            QTest::qWait(300);
            before = threads();
        }
        newHost();
        timer.start();
        fenced([&] { host->player()->setVolume(0.5f); });
        for (int step = 0; step < 12 && host->player(); ++step) {
            command();
            QTest::qWait(int(random() % 60));
        }
        timer.stop();
        if (!host->player())
            newHost();
        host->player()->setRenderMode(RenderModeNormal);
        ASSERT_TRUE(host->run("open:h264_aac.mp4 play wait:" + std::to_string(100 + (round % 4) * 20)));
        EXPECT_TRUE(round > 0 || threads(true) >= 2) << "the ticker and the repaint thread run";
        timer.start();
        fenced([&] {
            host->player()->setCurrentTime(1500 + round * 37);
            host.reset();
        });
        timer.stop();
        EXPECT_EQ(threads(true), 0) << "joined before delete returns";
        if (HasFailure())
            break;
    }
    EXPECT_EQ(reentered, 0) << "the host's timer ran inside a library call";
    EXPECT_TRUE(QTest::qWaitFor([&] { return threads() <= before; }, 5000))
        << threads() << " threads, " << before << " before";
}
