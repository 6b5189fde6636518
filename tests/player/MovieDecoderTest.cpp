#include "PlayerTestSupport.h"
#include "common/GlTestContext.h"
#include "common/TestMedia.h"
#include "player/FrameSlot.h"
#include "player/MovieDecoder.h"
#include "player/MovieFile.h"
#include "player/PlaybackClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <memory>

namespace {

// A MovieDecoder wired to the engine's containers, as the engine builds it.
class MovieDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "needs the test display (tools/test-env.sh)"; }

    void start(const char *name)
    {
        path = mediaPath(name);
        file = std::make_unique<MovieFile>(path, false);
        ASSERT_TRUE(file->isOpen());
        clock.reset(static_cast<uint64_t>(file->durationMs()));
        queues = std::make_unique<EngineQueues>(file->videoCodecContext->width, file->videoCodecContext->height);
        decoder = std::make_unique<MovieDecoder>(file.get(), &queues->audioFreePool, &queues->audioReadyQueue,
                                                 EngineFormat, &queues->videoFreePool, &queues->videoReadyQueue,
                                                 &slot, &clock);
    }

    // Nothing lost: every frame and buffer is in a pool, a queue, the slot or
    // held by the demux thread. Counted only while the thread is idle.
    void expectAllAccountedFor()
    {
        const auto counts = [this] {
            int video = queues->videoFreePool.size() + queues->videoReadyQueue.size() + (slot.isEmpty() ? 0 : 1);
            int audio = queues->audioFreePool.size() + queues->audioReadyQueue.size();
            if (decoder) {
                video += decoder->heldVideoCount();
                audio += decoder->heldAudioCount();
            }
            return std::make_pair(video, audio);
        };
        EXPECT_TRUE(waitFor([&] { return counts() == std::make_pair(40, 120); }, 5000))
            << counts().first << " frames, " << counts().second << " buffers";
    }

    // Waits until the thread stops reading (rendering off): the emptier queue
    // has reached the threshold and nothing has changed for 300 ms since.
    void waitUntilFull()
    {
        const auto sizes = [this] {
            const uint32_t video = queues->videoReadyQueue.size();
            const uint32_t audio = queues->audioReadyQueue.size();
            return std::make_pair(video, audio);
        };
        ASSERT_TRUE(waitFor([&] {
            const auto [video, audio] = sizes();
            return decoder->hasAudioDecoder() ? std::min(video, audio) >= 15 : video >= 15;
        }));
        auto last = sizes();
        int stable = 0;
        ASSERT_TRUE(waitFor([&] {
            const auto now = sizes();
            stable = now == last ? stable + 1 : 0;
            last = now;
            return stable > 300;
        }));
    }

    int64_t shown()
    {
        RecordingFrame::lastShown = -1;
        slot.currentTexture();
        return RecordingFrame::lastShown;
    }

    void TearDown() override
    {
        if (!decoder)
            return;
        expectAllAccountedFor();
        decoder.reset(); // returns what the thread held
        decoder = nullptr;
        expectAllAccountedFor();
        AbstractVideoFrame *last = slot.exchange(nullptr);
        if (last)
            queues->videoFreePool.giveBack(last);
        queues.reset(); // frames die with the GL context still current
    }

    GlTestContext gl;
    std::string path;
    std::unique_ptr<MovieFile> file;
    PlaybackClock clock{0};
    FrameSlot slot;
    std::unique_ptr<EngineQueues> queues;
    std::unique_ptr<MovieDecoder> decoder;
};

TEST_F(MovieDecoderTest, RenderingOffFillsQueuesToThresholdAndShowsNothing)
{
    start("h264_aac.mp4");
    waitUntilFull();
    const uint32_t video = queues->videoReadyQueue.size();
    const uint32_t audio = queues->audioReadyQueue.size();
    EXPECT_EQ(std::min(video, audio), 15u);
    EXPECT_LE(std::max(video, audio), 40u);
    EXPECT_TRUE(slot.isEmpty());
    EXPECT_TRUE(decoder->hasAudioDecoder());
    EXPECT_FALSE(decoder->isAtEnd());
}

TEST_F(MovieDecoderTest, FileWithoutSoundReadsOnVideoQueueAlone)
{
    start("video_only.mp4");
    waitUntilFull();
    EXPECT_EQ(queues->videoReadyQueue.size(), 15u);
    EXPECT_EQ(queues->audioReadyQueue.size(), 0u);
    EXPECT_EQ(queues->audioFreePool.size(), 120u);
    EXPECT_FALSE(decoder->hasAudioDecoder());
    EXPECT_EQ(decoder->audioDecodeRate(), 0);
}

// The clock stands still and is moved frame by frame: a frame appears exactly
// when the clock reaches its stamp (difference 0 is due), never a step early,
// and each one in turn.
TEST_F(MovieDecoderTest, EachFrameReachesSlotOnceDueInOrder)
{
    start("video_only.mp4");
    waitUntilFull();
    decoder->setRendering(true);
    ASSERT_TRUE(waitFor([&] { return shown() == 0; }));
    for (int k = 1; k <= 45; ++k) {
        const int64_t due = k * 1000 / 30;
        clock.setPosition(due - 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        ASSERT_EQ(shown(), (k - 1) * 1000 / 30) << "frame " << k << " shown early";
        clock.setPosition(due);
        ASSERT_TRUE(waitFor([&] { return shown() == due; })) << "frame " << k << " shows " << shown();
    }
    decoder->setRendering(false);
    clock.setPosition(5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(shown(), 45 * 1000 / 30);
}

TEST_F(MovieDecoderTest, RunningClockShowsFramesNoEarlierThanTheirTime)
{
    start("h264_aac.mp4");
    waitUntilFull();
    decoder->setRendering(true);
    clock.start();
    int64_t previous = -1;
    ASSERT_TRUE(waitFor([&] {
        const int64_t stamp = shown();
        const int64_t now = static_cast<int64_t>(clock.currentPosition());
        EXPECT_LE(stamp, now);
        EXPECT_GE(stamp, previous);
        previous = stamp;
        return stamp >= 1500;
    }, 30000));
    clock.pause();
    EXPECT_GT(decoder->videoDecodeRate() + decoder->audioDecodeRate(), 0);
}

TEST_F(MovieDecoderTest, SeekQueuesPictureBeforeTargetThenFirstAtOrAfter)
{
    start("video_only.mp4");
    std::promise<std::vector<int64_t>> seen;
    decoder->seek(2510, [&] { seen.set_value(queuedTimestamps(queues->videoReadyQueue)); });
    auto result = seen.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const std::vector<int64_t> stamps = result.get();
    ASSERT_EQ(stamps.size(), 15u);
    EXPECT_EQ(stamps[0], 2500);
    EXPECT_EQ(stamps[1], 2533);
    EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()));
}

TEST_F(MovieDecoderTest, SeekWithSoundStartsBothQueuesAtTarget)
{
    start("h264_aac.mp4");
    std::promise<std::pair<std::vector<int64_t>, std::vector<int64_t>>> seen;
    decoder->seek(2510, [&] {
        seen.set_value({queuedTimestamps(queues->videoReadyQueue), queuedTimestamps(queues->audioReadyQueue)});
    });
    auto result = seen.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const auto [video, audio] = result.get();
    ASSERT_GE(video.size(), 2u);
    ASSERT_GE(audio.size(), 2u);
    EXPECT_EQ(std::min(video.size(), audio.size()), 15u);
    // Whichever stream reached the target first ended the walk; both start
    // with what is in force at the target.
    EXPECT_LT(video[0], 2510);
    EXPECT_GT(video[0], 2400);
    EXPECT_LE(audio[0], 2510);
    EXPECT_GT(audio[0], 2400);
    EXPECT_TRUE(std::is_sorted(video.begin(), video.end()));
    EXPECT_TRUE(std::is_sorted(audio.begin(), audio.end()));
}

TEST_F(MovieDecoderTest, SecondSeekBeforeTheFirstIsTakenWins)
{
    start("video_only.mp4");
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> blocked{0}, first{0}, second{0};
    decoder->seek(500, [&] {
        ++blocked;
        released.wait();
    });
    ASSERT_TRUE(waitFor([&] { return blocked == 1; }));
    decoder->seek(1000, [&] { ++first; });
    decoder->seek(2990, [&] { ++second; });
    release.set_value();
    ASSERT_TRUE(waitFor([&] { return second == 1; }, 20000));
    waitUntilFull();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(blocked, 1);
    const std::vector<int64_t> stamps = queuedTimestamps(queues->videoReadyQueue);
    ASSERT_GE(stamps.size(), 2u);
    EXPECT_EQ(stamps[0], 2966);
    EXPECT_EQ(stamps[1], 3000);
}

// Beyond the end the walk finds nothing at or after the target: only the last
// picture and the last sound are queued, and the thread then waits at the end
// until the next seek wakes it.
TEST_F(MovieDecoderTest, SeekBeyondEndThenSeekWakesThreadAtEnd)
{
    start("h264_aac.mp4");
    std::atomic<int> done{0};
    decoder->seek(60000, [&] { ++done; });
    ASSERT_TRUE(waitFor([&] { return done == 1 && decoder->isAtEnd(); }, 20000));
    EXPECT_EQ(queues->videoReadyQueue.size(), 1u);
    EXPECT_EQ(queues->audioReadyQueue.size(), 1u);
    EXPECT_GT(queuedTimestamps(queues->videoReadyQueue)[0], 3500);
    EXPECT_GT(queuedTimestamps(queues->audioReadyQueue)[0], 3500);
    EXPECT_EQ(decoder->heldVideoCount() + decoder->heldAudioCount(), 0);

    std::vector<int64_t> restarted;
    decoder->seek(0, [&] {
        restarted = queuedTimestamps(queues->videoReadyQueue);
        ++done;
    });
    ASSERT_TRUE(waitFor([&] { return done == 2; }, 20000));
    EXPECT_FALSE(decoder->isAtEnd());
    ASSERT_FALSE(restarted.empty());
    EXPECT_EQ(restarted[0], 0);
}

// Playing through to the end with every frame due: the thread shows frames
// while it reads, then waits at the end holding nothing.
TEST_F(MovieDecoderTest, EndOfInputReturnsHeldObjectsAndWaits)
{
    start("h264_aac.mp4");
    // Stands in for the audio device, which hands played buffers back.
    std::atomic<bool> playing{true};
    std::thread device([&] {
        while (playing) {
            if (AudioBuffer *buffer = queues->audioReadyQueue.take())
                queues->audioFreePool.giveBack(buffer);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    clock.setPosition(100000);
    decoder->setRendering(true);
    const bool atEnd = waitFor([&] { return decoder->isAtEnd(); }, 30000);
    playing = false;
    device.join();
    ASSERT_TRUE(atEnd);
    EXPECT_EQ(decoder->heldVideoCount() + decoder->heldAudioCount(), 0);
    EXPECT_GT(shown(), 3000);
}

} // namespace
