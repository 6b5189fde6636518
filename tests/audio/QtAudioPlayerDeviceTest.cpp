// How QtAudioPlayerDevice serves QAudioOutput's pulls from the queued buffers:
// across buffer boundaries, short when the queue runs dry, silence when nothing
// is ready, and each finished buffer back in the pool.
#include "audio/QtAudioPlayerDevice.h"

#include <gtest/gtest.h>

#include <tuple>
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
    // Every byte tells its buffer's tag and its offset there.
    auto byteOf = [](int tag, uint32_t offset) { return uint8_t(tag * 37 + offset % 31 + 1); };
    auto queue = [&](int tag, uint32_t size) {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = size;
        buffer->data = new uint8_t[size + 1];
        for (uint32_t i = 0; i < size; ++i)
            buffer->data[i] = byteOf(tag, i);
        ready.push(buffer);
    };
    // Reads maxSize bytes: the pieces in order, or maxSize bytes of silence
    // when there are none, and nothing written past the count returned.
    using Piece = std::tuple<int, uint32_t, uint32_t>; // tag, from, count
    auto expectRead = [&](qint64 maxSize, const std::vector<Piece> &pieces) {
        std::vector<uint8_t> out(size_t(maxSize) + 16, 0xEE);
        const qint64 n = device.readData(reinterpret_cast<char *>(out.data()), maxSize);
        std::vector<uint8_t> expected(pieces.empty() ? size_t(maxSize) : 0, 0);
        for (const auto &[tag, from, count] : pieces) {
            for (uint32_t i = 0; i < count; ++i)
                expected.push_back(byteOf(tag, from + i));
        }
        EXPECT_EQ(n, qint64(expected.size()));
        expected.resize(out.size(), 0xEE);
        EXPECT_EQ(out, expected);
    };

    // Requests walk through a buffer into the next, or span several (a
    // zero-size one handed straight back).
    queue(1, 250);
    queue(2, 250);
    expectRead(100, {{1, 0, 100}});
    expectRead(100, {{1, 100, 100}});
    EXPECT_EQ(pool.size(), 0u) << "the buffer in play stays with the device";
    expectRead(100, {{1, 200, 50}, {2, 0, 50}});
    queue(3, 0);
    queue(4, 300);
    queue(5, 300);
    expectRead(1000, {{2, 50, 200}, {4, 0, 300}, {5, 0, 300}});
    EXPECT_EQ(pool.size(), 5u);
    expectRead(4096, {}); // nothing ready: silence keeps the output running
    queue(6, 500);
    expectRead(100, {{6, 0, 100}});
    expectRead(4096, {{6, 100, 400}}); // short: the queue ran dry

    // Clear gives the buffer in play back; the next starts from its beginning.
    queue(7, 400);
    queue(8, 400);
    expectRead(100, {{7, 0, 100}});
    device.clear();
    EXPECT_EQ(pool.size(), 7u);
    expectRead(100, {{8, 0, 100}});
}
