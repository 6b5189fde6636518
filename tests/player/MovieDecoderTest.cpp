#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/AudioBuffer.h"
#include "player/DecodePace.h"
#include "player/FrameSlot.h"
#include "player/FreePool.h"
#include "player/MovieDecoder.h"
#include "player/MovieFile.h"
#include "player/PlaybackClock.h"
#include "player/ReadyQueue.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Keeps the timestamp it is filled with; updateTexture reports it in lastShown.
class RecordingFrame : public AbstractVideoFrame {
public:
    RecordingFrame(int width, int height) : AbstractVideoFrame(width, height) {}
    void updateTexture(FrameTexture &) override { lastShown = timestamp; }
    void fill(const AVFrame *, AVPixelFormat, int64_t timestampMs) override { beginPicture(timestampMs); }
    static inline int64_t lastShown = -1;
};

int64_t stampOf(AbstractVideoFrame *frame) { return frame->getTimestamp(); }
int64_t stampOf(AudioBuffer *buffer) { return buffer->ptsMs; }

// Timestamps of what a ready queue holds, front first; the queue is unchanged.
template <typename T>
std::vector<int64_t> queuedTimestamps(ReadyQueue<T> &queue)
{
    std::lock_guard<std::recursive_mutex> guard(queue.mutex());
    std::vector<int64_t> stamps;
    for (uint32_t n = queue.size(); n > 0; --n) {
        T *p = queue.pop();
        stamps.push_back(stampOf(p));
        queue.push(p);
    }
    return stamps;
}

// A MovieDecoder wired to containers like the engine's, with 40 frames and 120 buffers.
class MovieDecoderTest : public ::testing::Test {
protected:
    MovieDecoderTest()
    {
        videoFreePool.setCapacity(40);
        videoReadyQueue.setCapacity(40);
        audioFreePool.setCapacity(120);
        audioReadyQueue.setCapacity(120);
        for (int i = 0; i < 40; ++i) {
            AbstractVideoFrame *frame = new RecordingFrame(320, 240);
            videoFreePool.giveBack(frame);
        }
        for (int i = 0; i < 120; ++i) {
            AudioBuffer *buffer = new AudioBuffer;
            audioFreePool.giveBack(buffer);
        }
    }

    void start(const std::string &path)
    {
        file = std::make_unique<MovieFile>(path, false);
        ASSERT_TRUE(file->isOpen());
        clock.reset(static_cast<uint64_t>(file->durationMs()));
        decoder = std::make_unique<MovieDecoder>(file.get(), &audioFreePool, &audioReadyQueue, EngineFormat,
                                                 &videoFreePool, &videoReadyQueue, &slot, &clock);
    }

    // Once the thread has gone (it returns what it held), every frame and
    // buffer is in its pool, its queue or the slot; all then go back to the
    // pools for a next start.
    void TearDown() override
    {
        if (!decoder)
            return;
        decoder.reset();
        EXPECT_EQ(videoFreePool.size() + videoReadyQueue.size() + !slot.isEmpty(), 40u);
        EXPECT_EQ(audioFreePool.size() + audioReadyQueue.size(), 120u);
        if (AbstractVideoFrame *last = slot.exchange(nullptr))
            videoFreePool.giveBack(last);
        flushReady(videoReadyQueue, videoFreePool);
        flushReady(audioReadyQueue, audioFreePool);
    }

    int64_t shown()
    {
        RecordingFrame::lastShown = -1;
        FrameTexture texture; // a fresh one never shows the slot's picture yet
        slot.currentTexture(texture);
        return RecordingFrame::lastShown;
    }

    // Seeks and returns the video and audio queue stamps as the completion saw them.
    std::pair<std::vector<int64_t>, std::vector<int64_t>> seekAndLook(uint64_t ms)
    {
        std::promise<std::pair<std::vector<int64_t>, std::vector<int64_t>>> seen;
        decoder->seek(ms, [&] { seen.set_value({queuedTimestamps(videoReadyQueue), queuedTimestamps(audioReadyQueue)}); });
        auto result = seen.get_future();
        EXPECT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        return result.get();
    }

    std::unique_ptr<MovieFile> file;
    PlaybackClock clock{0};
    FrameSlot slot;
    FreePool<AbstractVideoFrame> videoFreePool;
    ReadyQueue<AbstractVideoFrame> videoReadyQueue;
    FreePool<AudioBuffer> audioFreePool;
    ReadyQueue<AudioBuffer> audioReadyQueue;
    std::unique_ptr<MovieDecoder> decoder;
};

// The clock is moved picture by picture: each appears exactly when the clock
// reaches its stamp less the lead, never a step early, in turn. A clock that
// jumps shows the newest due picture and drops the ones before it unseen.
TEST_F(MovieDecoderTest, EachFrameReachesSlotOnceDueInOrder)
{
    constexpr int64_t lead = MovieDecoder::pictureLeadMs;
    start(mediaPath("video_only.mp4"));
    decoder->setRendering(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == 0; }, 10000));
    for (int k = 1; k <= 30; ++k) {
        const int64_t due = k * 1000 / 30;
        clock.setPosition(uint64_t(due - lead - 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        ASSERT_EQ(shown(), (k - 1) * 1000 / 30) << "picture " << k << " shown early";
        clock.setPosition(uint64_t(due - lead));
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == due; })) << "picture " << k << ", slot has " << shown();
    }
    EXPECT_EQ(decoder->droppedPictureCount(), 0u);
    clock.setPosition(1200 - lead); // pictures 31 to 36 due at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == 1200; }));
    EXPECT_EQ(decoder->droppedPictureCount(), 5u) << "the five before the newest due go unseen";
    decoder->setRendering(false);
    clock.setPosition(5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(shown(), 1200);
}

// Pictures queued to the threshold do not stop the sound: it is read about
// 1.5 s ahead, the video packets on the way set aside and decoded, in order,
// once pictures are taken.
TEST_F(MovieDecoderTest, SoundReadsAheadOfAFullPictureQueue)
{
    start(mediaPath("h264_aac.mp4"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return audioReadyQueue.size() >= 60; }, 10000))
        << audioReadyQueue.size() << " buffers of sound";
    EXPECT_LE(videoReadyQueue.size(), 15u);
    decoder->setRendering(true);
    clock.setPosition(1500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == 1500; }, 10000)) << "slot has " << shown();
    const std::vector<int64_t> stamps = queuedTimestamps(videoReadyQueue);
    for (size_t i = 0; i < stamps.size(); ++i)
        EXPECT_EQ(stamps[i], 1500 + int64_t(i + 1) * 1000 / 30) << "picture " << i;
}

// A standing clock shows the picture it stands at, however late. Once it
// runs, a picture later than its frame period + 20 ms is dropped even after
// the screen has stood still for a while: the first one shown after a jump
// ahead is one the decoder reached on time.
TEST_F(MovieDecoderTest, WhileTheClockRunsNoLatePictureIsShown)
{
    start(mediaPath("video_only.mp4"));
    decoder->setRendering(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == 0; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    clock.setPosition(2000);
    clock.start();
    int64_t first = 0, lateness = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        first = shown();
        lateness = int64_t(clock.currentPosition()) - first;
        return first != 0;
    }, 10000));
    // One period + 20 ms, and the time this loop takes to look.
    EXPECT_LE(lateness, 1000 / 30 + 20 + 60) << "picture " << first;
    EXPECT_GT(decoder->droppedPictureCount(), 0u);
}

// The pace's decisions, one step each: `level` reached through loads of 1.5,
// then a measured `load` (negative: none), a picture `late` ms late, and
// update() `at` ms after the last change of level.
TEST(DecodePaceTest, StepsUpWhenBehindAndDownOneLevelOnceOnTimeForAWhile)
{
    using L = DecodePace::Level;
    struct Row {
        const char *what;
        L level;
        double load;
        int64_t late;
        uint64_t at;
        bool running;
        L expected;
    };
    const Row rows[] = {
        {"slower than half real time: key frames at once", L::All, 3.0, 0, 0, true, L::KeysOnly},
        {"slower than real time: one level", L::All, 1.5, 0, 0, true, L::NonRef},
        {"still slower: the next level", L::NonRef, 1.5, 0, 0, true, L::KeysOnly},
        {"a standing clock changes nothing", L::All, 3.0, 0, 0, false, L::All},
        {"late but fast enough: it catches up alone", L::All, 0.2, 500, 0, true, L::All},
        {"more than 1 s late", L::All, -1, 1500, 0, true, L::NonRef},
        {"more than 3 s late", L::All, -1, 3500, 0, true, L::KeysOnly},
        {"on time for 3 s with room: one level down", L::KeysOnly, 0.3, 0, 3000, true, L::NonRef},
        {"not yet 3 s", L::KeysOnly, 0.3, 0, 2900, true, L::KeysOnly},
        {"no room for twice the work", L::KeysOnly, 0.7, 0, 60000, true, L::KeysOnly},
        {"nothing measured at this level yet", L::NonRef, -1, 0, 60000, true, L::NonRef},
        {"from NonRef", L::NonRef, 0.3, 0, 3000, true, L::All},
    };
    for (const Row &row : rows) {
        DecodePace pace;
        for (int l = L::All; l < row.level; ++l) {
            pace.addWork(750, 500);
            pace.update(true, 0);
        }
        ASSERT_EQ(pace.level(), row.level) << row.what;
        if (row.load >= 0)
            pace.addWork(row.load * 500, 500);
        if (row.late > 0)
            pace.pictureLate(row.late, row.at);
        pace.update(row.running, row.at);
        EXPECT_EQ(pace.level(), row.expected) << row.what;
    }

    // A late picture restarts the wait; each step up that undoes a step down
    // doubles it, up to 24 s.
    DecodePace pace;
    pace.addWork(1500, 500);
    pace.update(true, 0);
    pace.addWork(100, 500);
    pace.pictureLate(100, 1000);
    pace.update(true, 3000);
    EXPECT_EQ(pace.level(), L::KeysOnly);
    uint64_t now = 4000;
    for (uint64_t wait : {6000, 12000, 24000, 24000}) {
        pace.update(true, now);
        ASSERT_EQ(pace.level(), L::NonRef);
        pace.addWork(1500, 500);
        pace.update(true, now);
        ASSERT_EQ(pace.level(), L::KeysOnly);
        EXPECT_EQ(pace.stepDownWaitMs(), wait);
        pace.addWork(100, 500);
        now += wait;
    }
}

TEST_F(MovieDecoderTest, SeekQueuesLastPictureBeforeTargetThenFirstAtOrAfter)
{
    start(mediaPath("video_only.mp4"));
    const std::vector<int64_t> video = seekAndLook(2510).first;
    ASSERT_EQ(video.size(), 15u);
    EXPECT_EQ(std::vector<int64_t>(video.begin(), video.begin() + 2), (std::vector<int64_t>{2500, 2533}));
    const std::vector<int64_t> exact = seekAndLook(2500).first; // a picture stamped at the target is at it
    EXPECT_EQ(std::vector<int64_t>(exact.begin(), exact.begin() + 2), (std::vector<int64_t>{2466, 2500}));

    // With sound the walk ends on whichever stream reaches the target first;
    // both queues still start with what is in force at the target.
    TearDown();
    start(mediaPath("h264_aac.mp4"));
    const auto [pictures, sound] = seekAndLook(2510);
    ASSERT_FALSE(pictures.empty() || sound.empty());
    EXPECT_EQ(std::min(pictures.size(), sound.size()), 15u);
    EXPECT_TRUE(pictures[0] < 2510 && pictures[0] > 2400) << pictures[0];
    EXPECT_TRUE(sound[0] <= 2510 && sound[0] > 2400) << sound[0];
    EXPECT_TRUE(std::is_sorted(pictures.begin(), pictures.end()) && std::is_sorted(sound.begin(), sound.end()));
}

TEST_F(MovieDecoderTest, SecondSeekBeforeTheFirstIsTakenWins)
{
    start(mediaPath("video_only.mp4"));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> blocked{0}, first{0}, second{0};
    decoder->seek(500, [&] { ++blocked, released.wait(); }); // keeps the thread busy meanwhile
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocked == 1; }));
    decoder->seek(1000, [&] { ++first; });
    decoder->seek(2990, [&] { ++second; });
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second == 1 && videoReadyQueue.size() >= 2; }, 30000));
    EXPECT_EQ(first + blocked * 10 + second * 100, 110) << "the superseded seek never completes";
    const std::vector<int64_t> video = queuedTimestamps(videoReadyQueue);
    EXPECT_EQ(std::vector<int64_t>(video.begin(), video.begin() + 2), (std::vector<int64_t>{2966, 3000}));
}

// Beyond the end the walk finds nothing at or after the target: the last
// picture and sound are queued, the decoders are drained, and every picture
// still queued is shown at its time. The media has played out once the clock
// has passed the last picture's end and the sound is handed out (here no
// device takes it, so after the stall limit); the thread then waits, holding
// nothing, until the next seek wakes it.
TEST_F(MovieDecoderTest, AtTheEndEveryPictureIsShownThenItPlaysOut)
{
    start(mediaPath("h264_aac.mp4"));
    const auto [pictures, sound] = seekAndLook(60000);
    ASSERT_FALSE(pictures.empty() || sound.empty());
    EXPECT_GT(pictures.back(), 3500);
    EXPECT_GT(sound.back(), 3500);

    clock.setPosition(4100);
    EXPECT_FALSE(decoder->playedOut(4100)) << "pictures not shown yet";
    decoder->setRendering(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return decoder->isAtEnd(); }, 10000));
    EXPECT_EQ(shown(), 119 * 1000 / 30) << "the decoder's last picture";
    EXPECT_FALSE(decoder->playedOut(3990)) << "before the last picture's end";
    EXPECT_TRUE(QTest::qWaitFor([&] { return decoder->playedOut(4100); }, 5000));

    decoder->setRendering(false);
    const std::vector<int64_t> restarted = seekAndLook(0).first;
    EXPECT_FALSE(decoder->isAtEnd());
    EXPECT_FALSE(decoder->playedOut(4100));
    ASSERT_FALSE(restarted.empty());
    EXPECT_EQ(restarted[0], 0);
}

// A server that sends the first tenth of a file to one client and then
// nothing more stalls the demux thread's read, not the caller; deleting the
// decoder ends that read at once instead of after the network timeout.
TEST_F(MovieDecoderTest, DeletingItEndsAStalledNetworkRead)
{
    int port;
    const int listener = loopbackSocket(port);
    listen(listener, 1);
    std::ifstream in(mediaPath("h264_aac.mp4"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int client = -1;
    std::thread server([&] {
        client = accept(listener, nullptr, nullptr);
        (void)!write(client, bytes.data(), bytes.size() / 10);
    });
    start("tcp://127.0.0.1:" + std::to_string(port));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Some pictures came, and too few for the thread to stop reading: it waits in a read.
    EXPECT_GT(videoReadyQueue.size(), 0u);
    EXPECT_LT(videoReadyQueue.size(), 15u);
    const auto before = std::chrono::steady_clock::now();
    TearDown();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    server.join();
    ::close(client);
    ::close(listener);
}

} // namespace
