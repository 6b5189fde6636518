// QtAudioPlayer where the end-to-end tests cannot look: a refused format, and
// the heard position it reports while the caller's thread is busy.
#include "audio/QtAudioPlayer.h"
#include "common/TestSupport.h"
#include "player/PlaybackClock.h"

#include <QElapsedTimer>
#include <QTest>

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};
constexpr uint32_t kBuffers = 100; // 1000 samples each: 2.3 s of silent sound
constexpr uint32_t kBufferMs = 1000 * 1000 / 44100;

struct QueuedSound {
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
    QueuedSound()
    {
        ready.setCapacity(kBuffers);
        pool.setCapacity(kBuffers);
        for (uint32_t i = 0; i < kBuffers; ++i) {
            auto *buffer = new AudioBuffer;
            buffer->capacity = buffer->size = 1000 * 2 * sizeof(float);
            buffer->data = new uint8_t[buffer->capacity]();
            buffer->ptsMs = int64_t(i) * 1000 * 1000 / 44100;
            ready.push(buffer);
        }
    }
};

struct TestPlayer : QtAudioPlayer {
    TestPlayer(QueuedSound &s, FormatCheck check)
        : QtAudioPlayer(kFormat, &s.ready, &s.pool, nullptr, std::move(check)) {}
};

TEST(QtAudioPlayer, RefusedItPlaysNothingAndStaysSilent)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    QueuedSound sound;
    TestPlayer player(sound, [](const QAudioDeviceInfo &, const QAudioFormat &) { return false; });
    EXPECT_FALSE(player.hasOutput());
    player.setVolume(0.8f);
    player.play();
    player.pause();
    player.flush();
    player.stop();
    QTest::qWait(300);
    EXPECT_FLOAT_EQ(player.volume(), 0.0f);
    EXPECT_EQ(sound.ready.size(), kBuffers) << "nobody drains the queue";
}

TEST(QtAudioPlayer, FedWhileTheCallerIsBusyAndReportsWhatIsHeard)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    QueuedSound sound;
    PlaybackClock clock(0);
    clock.followSound(true);
    clock.setPosition(0);
    QtAudioPlayer player(kFormat, &sound.ready, &sound.pool, &clock);
    ASSERT_TRUE(player.hasOutput());
    EXPECT_FLOAT_EQ(player.volume(), 0.0f) << "a new player is silent";

    clock.start(); // and no event loop while the output plays
    player.play();
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < 700) {
    }
    const uint32_t given = sound.pool.size();
    const double heard = double(clock.currentPosition());
    EXPECT_GE(given, 10u) << "the output is fed on its own thread";
    // Heard is what was handed out less what the server still holds, and the clock follows it.
    EXPECT_LE(heard, (given + 1) * kBufferMs + 5.0);
    EXPECT_GE(heard, given * kBufferMs - QtAudioPlayer::bufferMs - 30.0);

    // Paused, the clock and the queue stand; stopped, the buffer in play goes back.
    clock.pause();
    player.pause();
    QTest::qWait(200);
    const uint32_t left = sound.ready.size();
    QTest::qWait(300);
    EXPECT_EQ(sound.ready.size(), left);
    player.stop();
    QTest::qWait(200);
    flushReady(sound.ready, sound.pool);
    EXPECT_EQ(sound.pool.size(), kBuffers) << "stop gives back the buffer in play";
}
