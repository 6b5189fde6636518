// How QtAudioPlayerDevice serves QAudioOutput's pulls from the queued buffers:
// across buffer boundaries, short when the queue runs dry, silence when nothing
// is ready, and each finished buffer back in the pool.
#include "audio/QtAudioPlayerDevice.h"

#include <gtest/gtest.h>

#include <vector>

struct TestDevice : QtAudioPlayerDevice {
    using QtAudioPlayerDevice::QtAudioPlayerDevice;
    using QtAudioPlayerDevice::readData;
};

TEST(QtAudioPlayerDevice, ServesQueuedBuffersAndGivesThemBack)
{
    ReadyQueue<AudioBuffer> ready; // before the device, which gives its buffer back
    FreePool<AudioBuffer> pool;
    ready.setCapacity(8);
    pool.setCapacity(8);
    TestDevice device(&ready, &pool);
    // Every byte queued, in order; each tells its buffer and its offset there.
    std::vector<uint8_t> stream;
    size_t served = 0;
    auto queue = [&, tag = 0](uint32_t size) mutable {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = size;
        buffer->data = new uint8_t[size + 1];
        for (uint32_t i = 0, t = ++tag; i < size; ++i)
            stream.push_back(buffer->data[i] = uint8_t(t * 37 + i % 31 + 1));
        ready.push(buffer);
    };
    // Reads maxSize bytes: the next count bytes queued, or maxSize bytes of
    // silence when count is 0, and nothing written past what it returns.
    auto expectRead = [&](qint64 maxSize, size_t count) {
        std::vector<uint8_t> out(size_t(maxSize) + 16, 0xEE), expected(size_t(maxSize), 0);
        const qint64 n = device.readData(reinterpret_cast<char *>(out.data()), maxSize);
        EXPECT_EQ(n, count ? qint64(count) : maxSize);
        if (count)
            expected.assign(stream.begin() + long(served), stream.begin() + long(served + count));
        served += count;
        expected.resize(out.size(), 0xEE);
        EXPECT_EQ(out, expected);
    };

    // Requests walk through a buffer into the next, or span several (a
    // zero-size one handed straight back).
    queue(250);
    queue(250);
    expectRead(100, 100);
    expectRead(100, 100);
    EXPECT_EQ(pool.size(), 0u) << "the buffer in play stays with the device";
    expectRead(100, 100);
    queue(0);
    queue(300);
    queue(300);
    expectRead(1000, 800);
    EXPECT_EQ(pool.size(), 5u);
    expectRead(4096, 0); // nothing ready: silence keeps the output running
    queue(500);
    expectRead(100, 100);
    expectRead(4096, 400); // short: the queue ran dry

    // Clear gives the buffer in play back; the next starts from its beginning.
    queue(400);
    queue(400);
    expectRead(100, 100);
    device.clear();
    served += 300;
    EXPECT_EQ(pool.size(), 7u);
    expectRead(100, 100);
}
