#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/MovieDecoder.h"
#include "player/MovieFile.h"
#include "player/PlaybackClock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <thread>

namespace {

// updateTexture reports the picture's timestamp in lastShown.
class RecordingFrame : public AbstractVideoFrame {
public:
    RecordingFrame(int width, int height) : AbstractVideoFrame(width, height) {}
    void updateTexture(FrameTexture &) override { lastShown = timestamp; }
    void fill(const AVFrame *, AVPixelFormat, int64_t timestampMs) override { beginPicture(timestampMs); }
    static inline int64_t lastShown = -1;
};

int64_t stampOf(AbstractVideoFrame *frame) { return frame->getTimestamp(); }
int64_t stampOf(AudioBuffer *buffer) { return buffer->ptsMs; }

// Timestamps of what a ready queue holds, front first.
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
        stock(videoFreePool, 40, [] { return new RecordingFrame(320, 240); });
        stock(audioFreePool, 120, [] { return new AudioBuffer; });
        videoReadyQueue.setCapacity(40);
        audioReadyQueue.setCapacity(120);
    }

    void start(const std::string &path)
    {
        file = std::make_unique<MovieFile>(path, false);
        ASSERT_TRUE(file->isOpen());
        clock.reset(static_cast<uint64_t>(file->durationMs()));
        decoder = std::make_unique<MovieDecoder>(file.get(), &audioFreePool, &audioReadyQueue, EngineFormat,
                                                 &videoFreePool, &videoReadyQueue, &slot, &clock);
    }

    // None lost once the thread has gone; all go back to the pools for a next start.
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

    // The video and audio queue stamps as the seek's completion saw them.
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

// Shown exactly at its stamp less the lead; a jump shows the newest due picture
// and drops those before it; a running clock drops those a period + 20 ms late.
TEST_F(MovieDecoderTest, EachPictureShowsWhenDueAndNoneLateWhileTheClockRuns)
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
    clock.setPosition(2000);
    clock.start();
    int64_t first = 0, lateness = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        first = shown();
        lateness = int64_t(clock.currentPosition()) - first;
        return first != 1200;
    }, 10000));
    EXPECT_LE(lateness, 1000 / 30 + 20 + 60) << "picture " << first;
    EXPECT_GT(decoder->droppedPictureCount(), 5u);
}

// Sound is read 1.5 s ahead past a full picture queue; the pictures set aside come out in order.
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

// From `level` (reached through loads of 1.5): a measured `load` (negative:
// none), a picture `late` ms late, and update() `at` ms after the last step.
TEST(DecodePaceTest, StepsUpWhenBehindAndDownOneLevelOnceOnTimeForAWhile)
{
    using L = DecodePace::Level;
    const struct Row {
        const char *what;
        L level;
        double load;
        int64_t late, at;
        bool running;
        L expected;
    } rows[] = {
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
}

// A seek queues the last picture before the target, then those at or after it.
TEST_F(MovieDecoderTest, SeekQueuesLastPictureBeforeTargetThenFirstAtOrAfter)
{
    start(mediaPath("video_only.mp4"));
    const std::vector<int64_t> video = seekAndLook(2510).first;
    ASSERT_EQ(video.size(), 15u);
    EXPECT_EQ(std::vector<int64_t>(video.begin(), video.begin() + 2), (std::vector<int64_t>{2500, 2533}));
    const std::vector<int64_t> exact = seekAndLook(2500).first; // a picture stamped at the target is at it
    EXPECT_EQ(std::vector<int64_t>(exact.begin(), exact.begin() + 2), (std::vector<int64_t>{2466, 2500}));

    // Of two seeks made while the thread is busy, the second wins and the first never completes.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> blocked{0}, superseded{0}, second{0};
    decoder->seek(500, [&] { ++blocked, released.wait(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocked == 1; }));
    decoder->seek(1000, [&] { ++superseded; });
    decoder->seek(2990, [&] { ++second; });
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second == 1 && videoReadyQueue.size() >= 2; }, 30000));
    EXPECT_EQ(superseded + blocked * 10 + second * 100, 110);
    const std::vector<int64_t> after = queuedTimestamps(videoReadyQueue);
    EXPECT_EQ(std::vector<int64_t>(after.begin(), after.begin() + 2), (std::vector<int64_t>{2966, 3000}));
}

// Past the end every picture is shown and the media has played out once the
// clock passed the last picture and the sound; a seek back restarts it.
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
    EXPECT_FALSE(decoder->playedOut(4100)) << "sound still queued";
    EXPECT_TRUE(QTest::qWaitFor([&] { return decoder->playedOut(4100); }, 5000));

    decoder->setRendering(false);
    const auto [video, audio] = seekAndLook(2510);
    EXPECT_FALSE(decoder->isAtEnd() || decoder->playedOut(4100));
    ASSERT_EQ(std::min(video.size(), audio.size()), 15u);
    EXPECT_TRUE(video[0] < 2510 && video[0] > 2400) << video[0];
    EXPECT_TRUE(audio[0] <= 2510 && audio[0] > 2400) << audio[0];
    EXPECT_TRUE(std::is_sorted(video.begin(), video.end()) && std::is_sorted(audio.begin(), audio.end()));
}

// Taken sound is over when the clock (following what is heard) reaches the last buffer's end.
TEST_F(MovieDecoderTest, SoundIsOverWhenTheClockReachesItsEnd)
{
    start(mediaPath("audio_only.m4a"));
    clock.reset(0); // no duration to stop the clock at
    clock.setPosition(3500);
    seekAndLook(3500);
    int64_t last = -1; // the stamp of the last buffer the device took
    const auto takeAll = [&] {
        for (AudioBuffer *b; (b = audioReadyQueue.take()) != nullptr; audioFreePool.giveBack(b))
            last = b->ptsMs;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return takeAll(), decoder->isAtEnd(); }, 10000));
    takeAll();
    EXPECT_FALSE(decoder->playedOut(uint64_t(last))) << "its last buffer is still playing";
    EXPECT_TRUE(decoder->playedOut(uint64_t(last) + 50));
}

// Within half a second before the target, both streams: past a join whose
// stamps repeat (no seek by time tells them apart), and in a file whose only
// key picture is its first (the demuxer lands past it).
TEST_F(MovieDecoderTest, SeeksInMpegTsLandBeforeTheirTarget)
{
    for (const char *name : {"rw_reset.ts", "rw_longgop.ts"}) {
        SCOPED_TRACE(name);
        TearDown();
        start(mediaPath(name));
        decoder->setRendering(true);
        clock.setPosition(2600); // the pictures up to it are read, the join at 2 s with them
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown() > 2500; }, 10000)) << shown();
        decoder->setRendering(false);
        for (int64_t target : {3000, 1000, 3500}) {
            const auto [video, audio] = seekAndLook(uint64_t(target));
            ASSERT_FALSE(video.empty() || audio.empty()) << target;
            EXPECT_TRUE(video[0] <= target && video[0] > target - 500) << target << ": " << video[0];
            EXPECT_TRUE(audio[0] <= target && audio[0] > target - 500) << target << ": " << audio[0];
        }
    }
}

// Deleting the decoder ends a read stalled on a server at once, not at the network timeout.
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
