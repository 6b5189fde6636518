// QtAudioPlayerDevice's timeline: at 1000 samples a second an 8-byte frame is
// one ms, each queued ms carries a letter of its own and silence reads as '.'.
#include "audio/QtAudioPlayerDevice.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

struct TestDevice : QtAudioPlayerDevice {
    using QtAudioPlayerDevice::QtAudioPlayerDevice;
    using QtAudioPlayerDevice::readData;
};

struct Timeline {
    ReadyQueue<AudioBuffer> ready; // before the device, which gives its buffer back
    FreePool<AudioBuffer> pool;
    TestDevice device{&ready, &pool, 8, 1000};
    char next = 'A'; // the letter of the next ms queued

    Timeline()
    {
        ready.setCapacity(16);
        pool.setCapacity(16);
    }
    void queue(int64_t ptsMs, int ms)
    {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = uint32_t(ms * 8);
        buffer->data = new uint8_t[buffer->size];
        for (uint32_t i = 0; i < buffer->size; ++i)
            buffer->data[i] = uint8_t(next + i / 8);
        next = char(next + ms);
        buffer->ptsMs = ptsMs;
        ready.push(buffer);
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
        {"late sound starts at its time", 1000, "q1004:3 r8", "....ABC"},
        {"a gap in the track is kept as silence", 0, "q0:2 q40:2 r44", "AB" + std::string(38, '.') + "CD"},
        {"sound before the start (a seek's target) is cut", 500, "q497:5 q502:2 r6", "DEFG"},
        {"a buffer wholly before the start goes unheard", 500, "q400:5 q500:2 r4", "FG"},
        {"sound late after a dry queue skips what is past", 0, "q0:2 r2 r40 q10:50 r4", "AB|" + gap40 + "|cdef"},
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
    EXPECT_EQ(t.read(6), "EFGH");
    EXPECT_EQ(t.pool.size(), 2u);
}
