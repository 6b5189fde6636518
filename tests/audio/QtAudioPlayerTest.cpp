// QtAudioPlayer where the end-to-end sound test cannot look: refused by the
// device, stopped and rebuilt, made on one thread and played from another,
// held with sound queued.
#include "audio/AwaitInThread.h"
#include "audio/QtAudioPlayer.h"
#include "common/TestSupport.h"

#include <QTest>
#include <QThread>

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};

// The device's check replaced, to make it refuse the format.
struct TestPlayer : QtAudioPlayer {
    TestPlayer(ReadyQueue<AudioBuffer> &ready, FreePool<AudioBuffer> &pool, FormatCheck check)
        : QtAudioPlayer(kFormat, &ready, &pool, std::move(check))
    {
    }
};

TEST(QtAudioPlayer, RefusedRebuiltAndPlayedFromAnotherThread)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    constexpr uint32_t kBuffers = 60; // 1.4 s of silent sound, all queued
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
    ready.setCapacity(kBuffers);
    pool.setCapacity(kBuffers);
    for (uint32_t i = 0; i < kBuffers; ++i) {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = 1000 * 2 * sizeof(float);
        buffer->data = new uint8_t[buffer->capacity]();
        ready.push(buffer);
    }

    // Refused, a player does nothing; stop rebuilds the output with the volume
    // set, or keeps it when the rebuild is refused; the backend refuses rate 0.
    const QString refused = QStringLiteral("Raw audio format not supported by backend, cannot play audio.");
    bool accept = false;
    const auto check = [&](const QAudioDeviceInfo &, const QAudioFormat &) { return accept; };
    MessageCapture capture;
    {
        TestPlayer player(ready, pool, check);
        player.setVolume(0.8f);
        EXPECT_FLOAT_EQ(player.volume(), 0.0f);
        player.play();
        player.pause();
        player.flush();
        player.stop(); // without an output, nothing to rebuild
        QTest::qWait(300);
        EXPECT_EQ(ready.size(), kBuffers) << "nobody drains the queue";
    }
    EXPECT_EQ(capture.count(refused, QtWarningMsg), 1);
    accept = true;
    TestPlayer rebuilt(ready, pool, check);
    rebuilt.setVolume(0.25f);
    rebuilt.stop();
    EXPECT_NEAR(rebuilt.volume(), 0.25f, 1e-4) << "the rebuilt output keeps the volume set";
    accept = false;
    rebuilt.stop();
    EXPECT_NEAR(rebuilt.volume(), 0.25f, 1e-4) << "a refused rebuild keeps the output there";
    QtAudioPlayer zeroRate({3, 3, 0, 4}, &ready, &pool);
    EXPECT_FLOAT_EQ(zeroRate.volume(), 0.0f);
    EXPECT_EQ(capture.count(refused, QtWarningMsg), 3);

    // The engine makes the player on a thread of its own and plays it from others.
    QThread owner;
    owner.start();
    QtAudioPlayer *player = nullptr;
    awaitInThread(&owner, [&] { player = new QtAudioPlayer(kFormat, &ready, &pool); });
    EXPECT_FLOAT_EQ(player->volume(), 0.0f) << "a new player is silent";
    ready.setOnHold(true);
    player->play();
    QTest::qWait(500);
    EXPECT_EQ(ready.size(), kBuffers) << "nothing is taken while held";
    ready.setOnHold(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pool.size() >= 10; }, 5000)) << "the output pulls sound";
    awaitInThread(&owner, [&] { player->stop(); });
    flushReady(ready, pool);
    EXPECT_EQ(pool.size(), kBuffers) << "stop gives back the buffer in play";
    awaitInThread(&owner, [&] { delete player; });
    owner.quit();
    owner.wait();
}
