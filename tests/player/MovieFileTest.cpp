#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "player/MovieFile.h"

#include <gtest/gtest.h>

#include <fstream>

extern "C" {
#include <libavutil/cpu.h>
}

namespace {

const char HardwareFallback[] = "Hardware decoder initialization was not successful - software docder is used.";

TEST(MovieFile, ChoosesLastStreamOfEachKindUntilBothAreFound)
{
    const std::string first = mediaPath("v0_v1_a2.mkv");
    MovieFile a(first, false);
    ASSERT_TRUE(a.isOpen());
    EXPECT_EQ(a.videoStreamIndex, 1);
    EXPECT_EQ(a.audioStreamIndex, 2);
    EXPECT_EQ(a.videoCodecContext->width, 160);

    const std::string second = mediaPath("v0_a1_v2.mkv");
    MovieFile b(second, false);
    ASSERT_TRUE(b.isOpen());
    EXPECT_EQ(b.videoStreamIndex, 0);
    EXPECT_EQ(b.audioStreamIndex, 1);
    EXPECT_EQ(b.videoCodecContext->width, 320);
    EXPECT_TRUE(b.hasAudio);
}

TEST(MovieFile, HardwareRequestFallsBackToSoftwareAndDumpsStreamsOnce)
{
    LogCapture log;
    const std::string path = mediaPath("h264_aac.mp4");
    MovieFile file(path, true);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(log.count("Loading video: " + path), 1);
    EXPECT_EQ(log.count(HardwareFallback), 1); // no CUDA device on these machines
    EXPECT_EQ(log.count("Input #0"), 1);       // av_dump_format's header, first attempt only
    EXPECT_EQ(log.count("Failed to load video!"), 0);
    EXPECT_EQ(file.hwDevice, nullptr);
    EXPECT_EQ(file.videoCodecContext->hw_device_ctx, nullptr);
    EXPECT_EQ(file.videoCodecContext->thread_count, MovieFile::decodingThreadCount(av_cpu_count()));
    EXPECT_TRUE(file.hasAudio);
    EXPECT_NEAR(file.durationMs(), 4000, 100);
}

TEST(MovieFile, DecodingThreadsFollowHalfTheProcessorsWithinTwoToSix)
{
    EXPECT_EQ(MovieFile::decodingThreadCount(1), 2);
    EXPECT_EQ(MovieFile::decodingThreadCount(3), 2);
    EXPECT_EQ(MovieFile::decodingThreadCount(4), 2);
    EXPECT_EQ(MovieFile::decodingThreadCount(9), 4);
    EXPECT_EQ(MovieFile::decodingThreadCount(13), 6);
    EXPECT_EQ(MovieFile::decodingThreadCount(64), 6);
}

TEST(MovieFile, OpensEveryGeneratedCodecWithSound)
{
    for (const char *name : {"h264_aac.mp4", "vp9_opus.webm", "mpeg4_mp3.avi", "hevc.mkv", "av1.mp4"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        MovieFile file(path, false);
        ASSERT_TRUE(file.isOpen());
        EXPECT_TRUE(file.hasAudio);
        EXPECT_EQ(file.videoCodecContext->width, 320);
        EXPECT_EQ(file.videoCodecContext->height, 240);
        EXPECT_GT(file.durationMs(), 1000);
    }
}

TEST(MovieFile, VideoWithoutSoundOpensSilent)
{
    LogCapture log;
    const std::string path = mediaPath("video_only.mp4");
    MovieFile file(path, false);
    ASSERT_TRUE(file.isOpen());
    EXPECT_FALSE(file.hasAudio);
    EXPECT_EQ(file.audioCodecContext, nullptr);
    EXPECT_EQ(file.audioStreamIndex, -1);
    EXPECT_EQ(log.count("No audio track available"), 1);
}

TEST(MovieFile, UndecodableSoundFailsBothAttempts)
{
    LogCapture log;
    const std::string path = mediaPath("bad_audio.mkv");
    MovieFile file(path, false);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(log.count("Audio codec not found!"), 2);
    EXPECT_EQ(log.count("Failed to load video!"), 1);
    EXPECT_EQ(log.count("Input #0"), 1);
}

TEST(MovieFile, BrokenInputFailsCleanly)
{
    // Random bytes that no demuxer claims (garbage.bin itself is taken by
    // FFmpeg's "bintext" demuxer for its extension, see below).
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/garbage_copy.dat";
    {
        std::ifstream in(mediaPath("garbage.bin"), std::ios::binary);
        std::ofstream out(garbage, std::ios::binary);
        out << in.rdbuf();
    }
    struct Case {
        std::string path;
        const char *message;
    };
    const Case cases[] = {
        {garbage, "Failed to find stream info: "},
        {mediaPath("does_not_exist.mp4"), "Failed to open input: "},
        {mediaPath("audio_only.m4a"), "No video stream found"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log;
        MovieFile file(c.path, true);
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(log.count(c.message), 2) << log.text();
        EXPECT_EQ(log.count("Failed to find decoder"), 0);
        EXPECT_EQ(log.count("Failed to load video!"), 1);
        file.close();
        file.close();
    }
}

// Files FFmpeg accepts although they are damaged: opening and reading them to
// the end must neither crash nor hang.
TEST(MovieFile, DamagedInputThatOpensReadsToItsEnd)
{
    for (const char *name : {"truncated.mp4", "garbage.bin"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        MovieFile file(path, false);
        if (!file.isOpen())
            continue;
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        int packets = 0;
        while (packets < 500 && av_read_frame(file.formatContext, packet) >= 0) {
            ++packets;
            if (packet->stream_index == file.videoStreamIndex &&
                avcodec_send_packet(file.videoCodecContext, packet) == 0)
                avcodec_receive_frame(file.videoCodecContext, frame);
            av_packet_unref(packet);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
        EXPECT_GT(packets, 0);
    }
}

} // namespace
