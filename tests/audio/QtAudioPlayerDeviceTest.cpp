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

// Buffer bytes carry a per-buffer tag and their offset, so every byte handed
// out tells where it came from.
uint8_t byteOf(int tag, uint32_t offset)
{
    return uint8_t(tag * 37 + offset % 31 + 1);
}

AudioBuffer *makeBuffer(int tag, uint32_t size)
{
    auto *buffer = new AudioBuffer;
    buffer->capacity = size;
    buffer->size = size;
    buffer->data = new uint8_t[size ? size : 1];
    for (uint32_t i = 0; i < size; ++i)
        buffer->data[i] = byteOf(tag, i);
    return buffer;
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
        AudioBuffer *buffer = makeBuffer(tag, size);
        ready.push(buffer);
        return buffer;
    }

    // Reads maxSize bytes and returns what readData handed out.
    std::vector<uint8_t> read(qint64 maxSize)
    {
        std::vector<uint8_t> out(size_t(maxSize) + 16, 0xEE);
        const qint64 n = device.readData(reinterpret_cast<char *>(out.data()), maxSize);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, maxSize);
        for (size_t i = size_t(std::max<qint64>(n, 0)); i < out.size(); ++i)
            EXPECT_EQ(out[i], 0xEE) << "written past the returned count at " << i;
        out.resize(size_t(std::max<qint64>(n, 0)));
        return out;
    }

    static void expectBytes(const std::vector<uint8_t> &got, size_t at, int tag, uint32_t from, uint32_t count)
    {
        ASSERT_GE(got.size(), at + count);
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(got[at + i], byteOf(tag, from + i)) << "byte " << at + i;
    }

    // Declared before the device: its destructor gives its buffer back to the pool.
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
    TestDevice device{&ready, &pool};
};

TEST_F(QtAudioPlayerDeviceTest, ShortReadWhenTheQueueRunsDryThenSilence)
{
    AudioBuffer *only = queue(1, 1000);
    std::vector<uint8_t> got = read(4096);
    ASSERT_EQ(got.size(), 1000u);
    expectBytes(got, 0, 1, 0, 1000);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool.pop(), only);
    pool.giveBack(only);

    // No sound at all: a full block of silence keeps the output running.
    got = read(4096);
    ASSERT_EQ(got.size(), 4096u);
    EXPECT_EQ(std::count(got.begin(), got.end(), 0), 4096);
    EXPECT_EQ(read(0).size(), 0u);
}

TEST_F(QtAudioPlayerDeviceTest, OneRequestSpansConsecutiveBuffers)
{
    queue(1, 300);
    queue(2, 300);
    queue(3, 300);
    const std::vector<uint8_t> got = read(1000);
    ASSERT_EQ(got.size(), 900u);
    expectBytes(got, 0, 1, 0, 300);
    expectBytes(got, 300, 2, 0, 300);
    expectBytes(got, 600, 3, 0, 300);
    EXPECT_EQ(pool.size(), 3u);
    EXPECT_EQ(ready.size(), 0u);
}

TEST_F(QtAudioPlayerDeviceTest, SmallRequestsWalkThroughABufferAndIntoTheNext)
{
    AudioBuffer *first = queue(1, 250);
    queue(2, 250);
    std::vector<uint8_t> got = read(100);
    expectBytes(got, 0, 1, 0, 100);
    got = read(100);
    expectBytes(got, 0, 1, 100, 100);
    EXPECT_EQ(pool.size(), 0u) << "the buffer in play stays with the device";

    got = read(100);
    ASSERT_EQ(got.size(), 100u);
    expectBytes(got, 0, 1, 200, 50);
    expectBytes(got, 50, 2, 0, 50);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool.pop(), first);
    pool.giveBack(first);

    got = read(1000);
    ASSERT_EQ(got.size(), 200u);
    expectBytes(got, 0, 2, 50, 200);
    EXPECT_EQ(pool.size(), 2u);
}

TEST_F(QtAudioPlayerDeviceTest, HoldServesSilenceAndTakesNothing)
{
    queue(1, 500);
    ready.setOnHold(true);
    std::vector<uint8_t> got = read(256);
    ASSERT_EQ(got.size(), 256u);
    EXPECT_EQ(std::count(got.begin(), got.end(), 0), 256);
    EXPECT_EQ(ready.size(), 1u);

    ready.setOnHold(false);
    got = read(256);
    expectBytes(got, 0, 1, 0, 256);
}

TEST_F(QtAudioPlayerDeviceTest, ZeroSizeBufferIsHandedStraightBack)
{
    AudioBuffer *empty = queue(1, 0);
    queue(2, 100);
    const std::vector<uint8_t> got = read(200);
    ASSERT_EQ(got.size(), 100u);
    expectBytes(got, 0, 2, 0, 100);
    EXPECT_EQ(pool.size(), 2u);
    EXPECT_EQ(pool.pop(), empty);
    pool.giveBack(empty);
}

// The pool has room for every buffer in the engine; if it ever had none, the
// buffer stays in play and is served again from its beginning.
TEST_F(QtAudioPlayerDeviceTest, FullPoolKeepsTheBufferInPlay)
{
    pool.setCapacity(0);
    queue(1, 250);
    queue(2, 250);
    std::vector<uint8_t> got = read(250);
    ASSERT_EQ(got.size(), 250u);
    expectBytes(got, 0, 1, 0, 250);

    got = read(100);
    ASSERT_EQ(got.size(), 100u);
    expectBytes(got, 0, 1, 0, 100);
    EXPECT_EQ(ready.size(), 1u) << "the next buffer waits while the first is still in play";

    // Zero-size and refused: nothing to serve, and the read must still end.
    pool.setCapacity(8);
    device.clear();
    EXPECT_EQ(pool.size(), 1u);
    pool.setCapacity(1);
    AudioBuffer *empty = ready.pop();
    empty->size = 0;
    ready.push(empty);
    got = read(64);
    EXPECT_EQ(got.size(), 64u);
    EXPECT_EQ(std::count(got.begin(), got.end(), 0), 64);
    pool.setCapacity(8); // room again for the device to give its buffer back
}

TEST_F(QtAudioPlayerDeviceTest, ClearAndDestructionGiveTheBufferInPlayBack)
{
    AudioBuffer *first = queue(1, 400);
    queue(2, 400);
    read(100);
    device.clear();
    ASSERT_EQ(pool.size(), 1u);
    EXPECT_EQ(pool.pop(), first);
    pool.giveBack(first);

    // After clear the next buffer is served from its beginning.
    std::vector<uint8_t> got = read(100);
    expectBytes(got, 0, 2, 0, 100);

    {
        TestDevice other(&ready, &pool);
        queue(3, 400);
        other.readData(reinterpret_cast<char *>(got.data()), 10);
    }
    EXPECT_EQ(pool.size(), 2u);
    EXPECT_EQ(ready.size(), 0u);
}

} // namespace
