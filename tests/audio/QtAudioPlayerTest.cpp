// QtAudioPlayer where the end-to-end sound test cannot look: made on one thread
// and driven from another, held with sound queued, stopped and rebuilt, and
// refused by the device.
#include "audio/AwaitInThread.h"
#include "audio/QtAudioPlayer.h"
#include "common/TestSupport.h"

#include <QTest>
#include <QThread>

namespace {

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};
constexpr uint32_t kBuffers = 60;

// The engine's queues with every buffer queued: 1.4 s of silent sound.
struct AudioQueues {
    AudioQueues()
    {
        ready.setCapacity(kBuffers);
        pool.setCapacity(kBuffers);
        for (uint32_t i = 0; i < kBuffers; ++i) {
            auto *buffer = new AudioBuffer;
            buffer->capacity = buffer->size = 1000 * 2 * sizeof(float);
            buffer->data = new uint8_t[buffer->capacity]();
            ready.push(buffer);
        }
    }
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
};

// The engine makes the player on a thread of its own and plays it from others.
TEST(QtAudioPlayer, MadeOnOneThreadPlayedFromAnother)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    AudioQueues queues;
    QThread owner;
    owner.start();
    QtAudioPlayer *player = nullptr;
    awaitInThread(&owner, [&] { player = new QtAudioPlayer(kFormat, &queues.ready, &queues.pool); });
    EXPECT_FLOAT_EQ(player->volume(), 0.0f) << "a new player is silent";
    queues.ready.setOnHold(true);
    player->play();
    QTest::qWait(500);
    EXPECT_EQ(queues.ready.size(), kBuffers) << "nothing is taken while held";
    queues.ready.setOnHold(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return queues.pool.size() >= 10; }, 5000)) << "the output pulls sound";
    awaitInThread(&owner, [&] { player->stop(); });
    flushReady(queues.ready, queues.pool);
    EXPECT_EQ(queues.pool.size(), kBuffers) << "stop gives back the buffer in play";
    awaitInThread(&owner, [&] { delete player; });
    owner.quit();
    owner.wait();
}

// The device's check replaced, to make it refuse the format.
struct TestPlayer : QtAudioPlayer {
    TestPlayer(AudioQueues &q, FormatCheck check)
        : QtAudioPlayer(kFormat, &q.ready, &q.pool, std::move(check))
    {
    }
};

// Refused, a player does nothing; stop rebuilds the output with the volume set,
// or keeps it when the rebuild is refused; the real backend refuses rate 0.
TEST(QtAudioPlayer, RefusedFormatWarnsAndLeavesAPlayerThatDoesNothing)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const QString refused = QStringLiteral("Raw audio format not supported by backend, cannot play audio.");
    AudioQueues queues;
    bool accept = false;
    const auto check = [&](const QAudioDeviceInfo &, const QAudioFormat &) { return accept; };
    MessageCapture capture;
    {
        TestPlayer player(queues, check);
        player.setVolume(0.8f);
        EXPECT_FLOAT_EQ(player.volume(), 0.0f);
        player.play();
        player.pause();
        player.flush();
        player.stop(); // without an output, nothing to rebuild
        QTest::qWait(300);
        EXPECT_EQ(queues.ready.size(), kBuffers) << "nobody drains the queue";
    }
    EXPECT_EQ(capture.count(refused, QtWarningMsg), 1);

    accept = true;
    TestPlayer player(queues, check);
    player.setVolume(0.25f);
    player.stop();
    EXPECT_NEAR(player.volume(), 0.25f, 1e-4) << "the rebuilt output keeps the volume set";
    accept = false;
    player.stop();
    EXPECT_NEAR(player.volume(), 0.25f, 1e-4) << "a refused rebuild keeps the output there";

    QtAudioPlayer zeroRate({3, 3, 0, 4}, &queues.ready, &queues.pool);
    EXPECT_FLOAT_EQ(zeroRate.volume(), 0.0f);
    EXPECT_EQ(capture.count(refused, QtWarningMsg), 3);
}

} // namespace
