// Random host operations, also from inside callbacks, deletes included; after
// each the state agrees with itself: a playing player's clock advances, any
// other stands. PLA_SOAK_SEED repeats a run (printed at the start),
// PLA_SOAK_OPS bounds the operations, PLA_SOAK_SECONDS the time.
#include "e2e/E2EHost.h"

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>

TEST(Soak, RandomHostOperationsKeepThePlayerConsistent)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    auto env = [](const char *name, long fallback) {
        return std::getenv(name) && *std::getenv(name) ? std::atol(std::getenv(name)) : fallback;
    };
    using Clock = std::chrono::steady_clock;
    const auto seed = unsigned(env("PLA_SOAK_SEED", Clock::now().time_since_epoch().count() % 1000000007));
    const long maxOps = env("PLA_SOAK_OPS", 100000);
    const auto end = Clock::now() + std::chrono::seconds(env("PLA_SOAK_SECONDS", 50));
    std::printf("soak: PLA_SOAK_SEED=%u repeats this run\n", seed);
    std::mt19937 random(seed);
    auto pick = [&](int64_t n) { return int(random() % uint64_t(std::max<int64_t>(n, 1))); };
    const char *files[] = {"h264_aac.mp4",   "seconds.mp4",   "one_frame.mp4",  "vp9_opus.webm",
                           "video_only.mp4", "truncated.mp4", "audio_only.m4a", "no_such_file.mp4"};

    std::unique_ptr<E2EHost> host;
    int generation = 0, armedCode = -1;
    std::function<void()> armed; // runs inside the next event with armedCode (-1: any)
    auto player = [&] { return host ? host->player() : nullptr; };

    std::vector<std::function<void(IMediaPlayer2 *)>> ops;
    auto add = [&](int weight, std::function<void(IMediaPlayer2 *)> op) { ops.insert(ops.end(), weight, op); };
    add(14, [&](IMediaPlayer2 *p) { p->load(QString::fromStdString(mediaPath(files[pick(std::size(files))]))); });
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

    for (long op = 0; op < maxOps && Clock::now() < end && !HasFailure(); ++op) {
        if (!player()) {
            host = std::make_unique<E2EHost>(pick(4) == 0 ? "CreateHw" : "CreateSw");
            // A copy of the generation: a callback of a deleted player must never run.
            host->player()->addListener([&, made = ++generation](int code) {
                EXPECT_TRUE(made == generation && player()) << "a callback of a deleted player ran";
                EXPECT_TRUE(code >= EventPlaying && code <= EventTimeChanged && code != 4) << "event " << code;
                if (armed && (armedCode < 0 || armedCode == code))
                    std::exchange(armed, nullptr)();
            });
        }
        ops[size_t(pick(int(ops.size())))](player());

        // Let queued events through, then watch the clock over a quiet window.
        QTest::qWait(pick(80));
        IMediaPlayer2 *p = player();
        if (!p)
            continue;
        const size_t events = host->codesSince(0).size();
        const bool playing = p->isPlaying();
        const uint64_t before = p->currentTime();
        QTest::qWait(40);
        if (player() != p || host->codesSince(0).size() != events || p->isPlaying() != playing)
            continue; // something happened in the window: nothing to compare
        const int64_t duration = p->duration();
        ASSERT_GE(duration, 0);
        // A clock that has just started waits for its sound to be heard.
        if (playing)
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return player() != p || !p->isPlaying() || p->currentTime() > before ||
                           (duration > 0 && p->currentTime() >= uint64_t(duration));
                },
                3000))
                << "playing, yet the clock stands at " << before;
        else
            ASSERT_EQ(p->currentTime(), before) << "not playing, yet the clock runs";
        ASSERT_EQ(p->isPaused(), !playing);
    }
    host.reset();
    QTest::qWait(100); // a callback of the deleted player would fail the test here
}
