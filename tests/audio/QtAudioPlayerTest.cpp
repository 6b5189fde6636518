// The device's timeline at 1000 samples a second: each queued ms carries a
// letter, silence reads '.'. Then the output on the null sink.
#include "audio/QtAudioPlayer.h"
#include "audio/QtAudioPlayerDevice.h"
#include "common/TestSupport.h"
#include "player/PlaybackClock.h"

#include <QElapsedTimer>
#include <QTest>

#include <sstream>
#include <string>

namespace {

// A ready queue and a free pool of sound buffers, each with room for count.
struct Sound {
    ReadyQueue<AudioBuffer> ready; // before a device, which gives its buffer back
    FreePool<AudioBuffer> pool;
    explicit Sound(uint32_t count)
    {
        ready.setCapacity(count);
        pool.setCapacity(count);
    }
    // Queues bytes of silence stamped ptsMs; returns them to fill.
    uint8_t *queue(uint32_t bytes, int64_t ptsMs)
    {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = bytes;
        buffer->data = new uint8_t[bytes]();
        buffer->ptsMs = ptsMs;
        ready.push(buffer);
        return buffer->data;
    }
};

struct TestDevice : QtAudioPlayerDevice {
    using QtAudioPlayerDevice::QtAudioPlayerDevice;
    using QtAudioPlayerDevice::readData;
};

struct Timeline : Sound {
    TestDevice device{&ready, &pool, 8, 1000};
    char next = 'A'; // the letter of the next ms queued

    Timeline() : Sound(16) {}
    void queue(int64_t ptsMs, int ms)
    {
        uint8_t *data = Sound::queue(uint32_t(ms * 8), ptsMs);
        for (int i = 0; i < ms * 8; ++i)
            data[i] = uint8_t(next + i / 8);
        next = char(next + ms);
    }
    std::string read(int ms)
    {
        std::string bytes(size_t(ms * 8), 'x');
        const qint64 n = device.readData(bytes.data(), ms * 8);
        std::string frames;
        for (qint64 i = 0; i < n; i += 8)
            frames += bytes[size_t(i)] == 0 ? '.' : bytes[size_t(i)];
        return frames;
    }
};

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};
constexpr uint32_t kBuffers = 100; // 1000 samples each: 2.3 s of silent sound
constexpr uint32_t kBufferMs = 1000 * 1000 / 44100;

struct QueuedSound : Sound {
    QueuedSound() : Sound(kBuffers)
    {
        for (uint32_t i = 0; i < kBuffers; ++i)
            queue(1000 * 2 * sizeof(float), int64_t(i) * 1000 * 1000 / 44100);
    }
};

struct RefusedPlayer : QtAudioPlayer { // on a server that takes no format
    explicit RefusedPlayer(Sound &s)
        : QtAudioPlayer(kFormat, &s.ready, &s.pool, nullptr, [](auto &, auto &) { return false; }) {}
};

} // namespace

TEST(QtAudioPlayerDevice, PlacesEachBufferOnTheTimelineByItsStamp)
{
    // qSTAMP:MS queues a buffer, rMS reads; served joins the reads by '|'.
    struct Case {
        const char *what;
        int64_t beginMs;
        const char *steps;
        std::string served;
    };
    const std::string gap40(40, '.');
    const std::vector<Case> cases = {
        {"contiguous, across reads and buffers", 0, "q0:3 q3:3 r4 r4", "ABCD|EF"},
        {"stamps within the tolerance play as they are", 100, "q100:3 q125:3 r6", "ABCDEF"},
        {"late sound starts at its time", 1000, "q1004:3 r7", "....ABC"},
        {"a gap in the track is kept as silence", 0, "q0:2 q40:2 r42", "AB" + std::string(38, '.') + "CD"},
        {"sound before the start (a seek's target) is cut", 500, "q497:5 q502:2 r4", "DEFG"},
        {"the start serves its first read in full, or waits", 0, "q0:2 r4 q2:2 r4", "ABCD"},
        {"a buffer wholly before the start goes unheard, the next is cut exactly", 500, "q400:5 q495:10 r4", "KLMN"},
        {"sound late after a dry queue skips what is past", 0, "q0:2 r2 r40 q10:50 r4", "AB|" + gap40 + "|cdef"},
        {"even when it is late by less than the tolerance", 0, "q0:2 r2 r20 q2:30 r4", "AB|" + gap40.substr(20) + "|WXYZ"},
    };
    for (const Case &c : cases) {
        Timeline t;
        t.device.beginAt(double(c.beginMs));
        std::istringstream steps(c.steps);
        std::string served;
        size_t ms = 0;
        for (std::string step; steps >> step;) {
            if (step[0] == 'q') {
                t.queue(std::stoll(step.substr(1)), std::stoi(step.substr(step.find(':') + 1)));
                continue;
            }
            const std::string frames = t.read(std::stoi(step.substr(1)));
            served += (served.empty() ? "" : "|") + frames;
            ms += frames.size();
        }
        EXPECT_EQ(served, c.served) << c.what;
        EXPECT_DOUBLE_EQ(t.device.nextMs(), double(c.beginMs + int64_t(ms))) << c.what << ": the timeline counts every ms";
    }
}

TEST(QtAudioPlayerDevice, StartWaitsForSoundThenKeepsRunningAndClearGivesBack)
{
    Timeline t;
    t.device.beginAt(0);
    for (int i = 1; i < QtAudioPlayerDevice::startWaitReads; ++i)
        ASSERT_EQ(t.read(5), "") << "read " << i;
    EXPECT_EQ(t.read(5), ".....") << "the start waits a while for sound, then serves silence";
    EXPECT_EQ(t.read(5), ".....");
    t.ready.setOnHold(true);
    EXPECT_EQ(t.read(5), "") << "a held queue serves nothing, not even silence";
    t.ready.setOnHold(false);

    // Clear gives the buffer in play back; a new timeline places the next.
    t.queue(10, 4);
    t.queue(14, 4);
    EXPECT_EQ(t.read(2), "AB");
    t.device.clear();
    EXPECT_EQ(t.pool.size(), 1u);
    t.device.beginAt(14);
    EXPECT_EQ(t.read(4), "EFGH");
    EXPECT_EQ(t.pool.size(), 2u);
}

TEST(QtAudioPlayer, RefusedSilentElseFedWhileTheCallerIsBusyAndReportsWhatIsHeard)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    QueuedSound sound;
    {
        RefusedPlayer refused(sound);
        EXPECT_FALSE(refused.hasOutput());
        refused.setVolume(0.8f);
        refused.play();
        refused.pause();
        refused.flush();
        refused.stop();
        QTest::qWait(300);
        EXPECT_FLOAT_EQ(refused.volume(), 0.0f);
        EXPECT_EQ(sound.ready.size(), kBuffers) << "nobody drains the queue";
    }
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
