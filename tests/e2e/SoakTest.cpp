// Random host operations against the plug-in loaded with dlopen, as an
// unpredictable host would make them: loads of good, bad and missing files,
// play, pause, stop, seeks anywhere (also around the end), volume, render
// modes, commands from inside callbacks, and deleting and recreating the
// player (also from inside a callback). After every step the observable state
// must agree with itself: a playing player's clock advances, any other stands.
//
// PLA_SOAK_SEED repeats a run (the seed is printed at the start and on any
// failure), PLA_SOAK_OPS bounds the operations, PLA_SOAK_SECONDS the time.
#include "e2e/E2EHost.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

namespace {

long envOr(const char *name, long fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

} // namespace

TEST(Soak, RandomHostOperationsKeepThePlayerConsistent)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const auto seed = unsigned(
        envOr("PLA_SOAK_SEED", std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
    const long maxOps = envOr("PLA_SOAK_OPS", 100000), maxSeconds = envOr("PLA_SOAK_SECONDS", 50);
    std::printf("soak: seed %u (PLA_SOAK_SEED=%u repeats this run)\n", seed, seed);
    SCOPED_TRACE("PLA_SOAK_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](int64_t n) { return int(random() % uint64_t(std::max<int64_t>(n, 1))); };

    // Garbage under a name no demuxer claims, as in the load-failure test.
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/soak_garbage.dat";
    std::ofstream(garbage, std::ios::binary) << std::ifstream(mediaPath("garbage.bin"), std::ios::binary).rdbuf();
    const std::vector<std::string> files = {
        mediaPath("h264_aac.mp4"),   mediaPath("seconds.mp4"),    mediaPath("one_frame.mp4"),
        mediaPath("vp9_opus.webm"),  mediaPath("video_only.mp4"), mediaPath("truncated.mp4"),
        mediaPath("audio_only.m4a"), garbage,                     mediaPath("no_such_file.mp4")};

    // One player at a time in a shown window, made again after every delete.
    std::unique_ptr<E2EHost> host;
    int generation = 0, stateEvents = 0, armedCode = -1;
    std::function<void()> armed; // runs inside the next event with armedCode (-1: any)
    std::string failure;         // set by a callback that saw something wrong
    auto player = [&] { return host ? host->player() : nullptr; };
    auto create = [&] {
        host.reset();
        host = std::make_unique<E2EHost>(pick(4) == 0 ? "CreateHw" : "CreateSw");
        // A copy of the generation: a callback of a deleted player must never run.
        host->player()->addListener([&, made = ++generation](int code) {
            if (made != generation || !player())
                failure = "a callback of a deleted player ran (event " + std::to_string(code) + ")";
            else if (code == 4 || code < 0 || code > EventTimeChanged)
                failure = "unknown event code " + std::to_string(code);
            stateEvents += code != EventTimeChanged;
            if (armed && (armedCode < 0 || armedCode == code))
                std::exchange(armed, nullptr)();
        });
    };

    // Operations, each as often as its weight.
    std::vector<std::function<void(IMediaPlayer2 *)>> ops;
    auto add = [&](int weight, std::function<void(IMediaPlayer2 *)> op) { ops.insert(ops.end(), weight, op); };
    add(14, [&](IMediaPlayer2 *p) { p->load(QString::fromStdString(files[size_t(pick(int(files.size())))])); });
    add(18, [](IMediaPlayer2 *p) { p->play(); });
    add(10, [](IMediaPlayer2 *p) { p->pause(); });
    add(6, [](IMediaPlayer2 *p) { p->stop(); });
    add(10, [&](IMediaPlayer2 *p) { p->setCurrentTime(uint64_t(pick(p->duration() + 500))); });
    add(8, [&](IMediaPlayer2 *p) { // around the end, where the seek meets the end handling
        p->setCurrentTime(uint64_t(std::max<int64_t>(p->duration() - pick(600), 0)));
        if (pick(2))
            p->play();
    });
    add(4, [&](IMediaPlayer2 *p) { p->setVolume(float(pick(130) - 15) / 100.0f); });
    add(4, [&](IMediaPlayer2 *p) { p->setRenderMode(pick(6) - 1); });
    add(3, [&](IMediaPlayer2 *) { host->destroyPlayer(); });
    add(11, [](IMediaPlayer2 *p) { (void)p->statistics(), (void)p->filePath(), (void)p->videoWidth(); });
    const int plain = int(ops.size());
    add(12, [&](IMediaPlayer2 *) { // any of the above from inside a callback
        static const int codes[] = {-1, EventPlaying, EventPaused, EventStopped, EventFinished,
                                    EventLoaded, EventLoadFailed, EventTimeChanged};
        armedCode = codes[pick(8)];
        armed = [&, op = ops[size_t(pick(plain))]] {
            if (player())
                op(player());
        };
    });

    QElapsedTimer elapsed;
    elapsed.start();
    long op = 0;
    for (; op < maxOps && elapsed.elapsed() < maxSeconds * 1000; ++op) {
        SCOPED_TRACE("operation " + std::to_string(op));
        if (!player())
            create();
        ops[size_t(pick(int(ops.size())))](player());
        ASSERT_EQ(failure, "");

        // Let queued events through, then watch the clock over a quiet window.
        QTest::qWait(pick(80));
        IMediaPlayer2 *p = player();
        if (!p)
            continue;
        const int eventsBefore = stateEvents;
        const bool playing = p->isPlaying();
        const uint64_t before = p->currentTime();
        QTest::qWait(40);
        if (player() != p || stateEvents != eventsBefore || p->isPlaying() != playing)
            continue; // something happened in the window: nothing to compare
        const int64_t duration = p->duration();
        ASSERT_GE(duration, 0);
        if (playing)
            ASSERT_TRUE(p->currentTime() > before || (duration > 0 && p->currentTime() >= uint64_t(duration)))
                << "playing, yet the clock stands at " << before;
        else
            ASSERT_EQ(p->currentTime(), before) << "not playing, yet the clock runs";
        ASSERT_EQ(p->isPaused(), !playing);
    }
    std::printf("soak: %ld operations in %lld ms\n", op, static_cast<long long>(elapsed.elapsed()));
    host.reset();
    QTest::qWait(100);
    EXPECT_EQ(failure, "");
}
