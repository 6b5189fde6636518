// How QtAudioPlayerDevice serves QAudioOutput's requests from the queued buffers.
#include "audio/QtAudioPlayerDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class TestDevice : public QtAudioPlayerDevice {
public:
    using QtAudioPlayerDevice::QtAudioPlayerDevice;
    using QtAudioPlayerDevice::readData;
};

// Every byte carries its buffer's tag and its offset, so what is handed out
// tells where it came from.
uint8_t byteOf(int tag, uint32_t offset)
{
    return uint8_t(tag * 37 + offset % 31 + 1);
}

class QtAudioPlayerDeviceTest : public ::testing::Test {
protected:
    QtAudioPlayerDeviceTest()
    {
        ready.setCapacity(8);
        pool.setCapacity(8);
    }

    AudioBuffer *queue(int tag, uint32_t size)
    {
        auto *buffer = new AudioBuffer;
        buffer->capacity = buffer->size = size;
        buffer->data = new uint8_t[size ? size : 1];
        for (uint32_t i = 0; i < size; ++i)
            buffer->data[i] = byteOf(tag, i);
        ready.push(buffer);
        return buffer;
    }

    // Reads maxSize bytes; expects the pieces {tag, from, count} in order, or
    // maxSize bytes of silence when there are none.
    struct Piece {
        int tag;
        uint32_t from, count;
    };
    void expectRead(qint64 maxSize, std::vector<Piece> pieces)
    {
        std::vector<uint8_t> out(size_t(maxSize) + 16, 0xEE);
        const qint64 n = device.readData(reinterpret_cast<char *>(out.data()), maxSize);
        std::vector<uint8_t> expected(pieces.empty() ? size_t(maxSize) : 0, 0);
        for (const Piece &p : pieces) {
            for (uint32_t i = 0; i < p.count; ++i)
                expected.push_back(byteOf(p.tag, p.from + i));
        }
        EXPECT_EQ(n, qint64(expected.size()));
        expected.resize(out.size(), 0xEE); // nothing written past the count returned
        EXPECT_EQ(out, expected);
    }

    // The pool's buffers, oldest first; the pool keeps them.
    std::vector<AudioBuffer *> pooled()
    {
        std::vector<AudioBuffer *> out(pool.size());
        for (AudioBuffer *&buffer : out) {
            AudioBuffer *p = buffer = pool.pop();
            pool.giveBack(p);
        }
        return out;
    }
    using Buffers = std::vector<AudioBuffer *>;

    // Declared before the device: its destructor gives its buffer back to the pool.
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
    TestDevice device{&ready, &pool};
};

TEST_F(QtAudioPlayerDeviceTest, ServesBuffersAcrossRequestBoundaries)
{
    // Small requests walk through a buffer and into the next.
    AudioBuffer *first = queue(1, 250);
    AudioBuffer *second = queue(2, 250);
    expectRead(100, {{1, 0, 100}});
    expectRead(100, {{1, 100, 100}});
    EXPECT_EQ(pool.size(), 0u) << "the buffer in play stays with the device";
    expectRead(100, {{1, 200, 50}, {2, 0, 50}});
    EXPECT_EQ(pooled(), Buffers{first});

    // One request spans several buffers; a zero-size one is handed straight back.
    AudioBuffer *empty = queue(3, 0);
    AudioBuffer *fourth = queue(4, 300);
    AudioBuffer *fifth = queue(5, 300);
    expectRead(1000, {{2, 50, 200}, {4, 0, 300}, {5, 0, 300}});
    EXPECT_EQ(ready.size(), 0u);
    EXPECT_EQ(pooled(), (Buffers{first, second, empty, fourth, fifth}));
}

TEST_F(QtAudioPlayerDeviceTest, ShortReadWhenDryAndSilenceWhenNothingOrOnHold)
{
    queue(1, 1000);
    expectRead(4096, {{1, 0, 1000}});
    // No sound at all: a full block of silence keeps the output running.
    expectRead(4096, {});
    expectRead(0, {});

    queue(2, 500);
    ready.setOnHold(true);
    expectRead(256, {});
    EXPECT_EQ(ready.size(), 1u) << "nothing is taken while on hold";
    ready.setOnHold(false);
    expectRead(256, {{2, 0, 256}});
}

// The pool has room for every buffer in the engine; if it ever had none, the
// buffer stays in play and is served again from its beginning.
TEST_F(QtAudioPlayerDeviceTest, FullPoolKeepsTheBufferInPlay)
{
    pool.setCapacity(0);
    queue(1, 250);
    AudioBuffer *second = queue(2, 250);
    expectRead(250, {{1, 0, 250}});
    expectRead(100, {{1, 0, 100}});
    EXPECT_EQ(ready.size(), 1u) << "the next buffer waits while the first is still in play";

    // Zero-size and refused: nothing to serve, and the read must still end.
    pool.setCapacity(8);
    device.clear();
    pool.setCapacity(1);
    second->size = 0;
    expectRead(64, {});
    pool.setCapacity(8); // room again for the device to give its buffer back
}

TEST_F(QtAudioPlayerDeviceTest, ClearAndDestructionGiveTheBufferInPlayBack)
{
    AudioBuffer *first = queue(1, 400);
    queue(2, 400);
    expectRead(100, {{1, 0, 100}});
    device.clear();
    EXPECT_EQ(pooled(), Buffers{first});
    expectRead(100, {{2, 0, 100}}); // the next buffer from its beginning
    {
        TestDevice other(&ready, &pool);
        queue(3, 400);
        char sink[10];
        other.readData(sink, sizeof sink);
    }
    EXPECT_EQ(pool.size(), 2u);
    EXPECT_EQ(ready.size(), 0u);
}

} // namespace
