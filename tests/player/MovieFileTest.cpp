#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "player/MovieFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Files are opened with hardware asked for (bad_audio.mkv excepted, so that
// both attempts reach its sound): there is no CUDA device here, so the first
// attempt gives up at the latest at the hardware set-up, and a file that
// fails fails both attempts. The stream choice stops once both kinds are
// chosen; pictures beyond the limits fail with their size.
TEST(MovieFile, OpenOutcomesStreamsAndTheirMessages)
{
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/garbage_copy.dat"; // no extension hint
    std::ofstream(garbage, std::ios::binary) << std::ifstream(mediaPath("garbage.bin"), std::ios::binary).rdbuf();
    struct Case {
        std::string path;
        bool opens, hasAudio;
        const char *message;
        int times;
        int video = 0, audio = 1, width = 320;
    } cases[] = {
        {mediaPath("h264_aac.mp4"), true, true, "Hardware decoder initialization was not successful - software docder is used.", 1},
        {mediaPath("vp9_opus.webm"), true, true, "Input #0", 1}, // the stream description, dumped once
        {mediaPath("mpeg4_mp3.avi"), true, true, "Failed", 0},
        {mediaPath("hevc.mkv"), true, true, "Failed", 0},
        {mediaPath("av1.mp4"), true, true, "Failed", 0},
        {mediaPath("v0_v1_a2.mkv"), true, true, "Failed", 0, 1, 2, 160},
        {mediaPath("v0_a1_v2.mkv"), true, true, "Failed", 0, 0, 1, 320},
        {mediaPath("video_only.mp4"), true, false, "No audio track available", 1, 0, -1},
        {mediaPath("bad_audio.mkv"), false, false, "Audio codec not found!", 2},
        {mediaPath("audio_only.m4a"), false, false, "No video stream found", 2},
        {mediaPath("missing.mp4"), false, false, "Failed to open input: ", 2},
        {garbage, false, false, "Failed to find stream info: ", 2},
        {mediaPath("wide_17000.mkv"), false, false, "Picture size 17000x16 is larger than 16384 pixels on a side", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log;
        MovieFile file(c.path, c.path != mediaPath("bad_audio.mkv"));
        EXPECT_EQ(log.count("Loading video: " + c.path), 1);
        EXPECT_EQ(log.count(c.message), c.times);
        const bool readable = std::string(c.message).rfind("Failed to", 0) != 0; // got past the stream info
        EXPECT_EQ(log.count("Input #0"), readable ? 1 : 0); // dumped once, also over two attempts
        EXPECT_EQ(file.isOpen(), c.opens);
        EXPECT_EQ(log.count("Failed to load video!"), c.opens ? 0 : 1);
        if (!c.opens)
            continue;
        EXPECT_EQ(file.hasAudio, c.hasAudio);
        EXPECT_EQ(file.audioCodecContext != nullptr, c.hasAudio);
        EXPECT_EQ(std::make_pair(file.videoStreamIndex, file.audioStreamIndex), std::make_pair(c.video, c.audio));
        EXPECT_EQ(file.videoCodecContext->width, c.width);
        EXPECT_GT(file.durationMs(), 1900);
        file.close(); // and again on destruction
    }
    LogCapture log;
    EXPECT_TRUE(MovieFile::acceptPictureSize(16384, 4096));
    EXPECT_FALSE(MovieFile::acceptPictureSize(16384, 4097)); // one frame over 256 MiB
    EXPECT_EQ(log.count("Picture size 16384x4097 needs 268500992 bytes per frame"), 1);
}

// Damaged files FFmpeg still accepts (garbage.bin is taken by the "bintext"
// demuxer for its extension): reading them to the end neither crashes nor hangs.
TEST(MovieFile, DamagedInputThatOpensReadsToItsEnd)
{
    for (const char *name : {"truncated.mp4", "garbage.bin"}) {
        MovieFile file(mediaPath(name), false);
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        for (int n = 0; file.isOpen() && n < 500 && av_read_frame(file.formatContext, packet) >= 0; ++n) {
            if (packet->stream_index == file.videoStreamIndex && avcodec_send_packet(file.videoCodecContext, packet) == 0)
                avcodec_receive_frame(file.videoCodecContext, frame);
            av_packet_unref(packet);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
}

} // namespace
