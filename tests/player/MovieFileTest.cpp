#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "player/MovieFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

namespace {

// Which streams an open chooses, or the line that tells why it failed, in
// time: sources that could block for ever are refused at once, a listening
// socket nobody connects to gives up after 5 s. Hardware is asked for, so
// without a CUDA device the software attempt follows.
TEST(MovieFile, OpensTheRightStreamsOrFailsInTime)
{
    const std::string dir = std::string(PLA_BINARY_DIR) + "/movie-file-test";
    mkdir(dir.c_str(), 0700);
    const std::string fifo = dir + "/fifo", garbage = dir + "/garbage.dat", subtitles = dir + "/only.srt";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(garbage, std::ios::binary) << std::ifstream(mediaPath("garbage.bin"), std::ios::binary).rdbuf();
    std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:02,000\nno picture, no sound\n";
    int port;
    ::close(loopbackSocket(port)); // a port nobody listens on
    const std::string listenUrl = "tcp://127.0.0.1:" + std::to_string(port) + "?listen=1";

    constexpr int Fails = -2;
    const struct Case {
        std::string path;
        int video, audio;    // chosen streams; video Fails: the file does not open
        const char *message; // the line that tells the outcome
        bool cover = false;
        double seconds = 7;  // the longest the open may take
    } cases[] = {
        {mediaPath("h264_aac.mp4"), 0, 1, "Hardware decoder initialization was not successful"},
        {mediaPath("vp9_opus.webm"), 0, 1, ""},
        {mediaPath("mpeg4_mp3.avi"), 0, 1, ""},
        {mediaPath("hevc.mkv"), 0, 1, ""},
        {mediaPath("av1.mp4"), 0, 1, ""},
        {mediaPath("v0_v1_a2.mkv"), 0, 2, ""}, // all flagged default: the first of each
        {mediaPath("v0_a1_v2.mkv"), 0, 1, ""},
        {mediaPath("two_tracks.mkv"), 0, 2, ""},       // the second sound track is the default one
        {mediaPath("video_cover.mp4"), 0, -1, "No audio track available"}, // not the cover (stream 1)
        {mediaPath("music_cover.mp3"), 1, 0, "", true},
        {mediaPath("audio_only.m4a"), -1, 0, ""},
        {subtitles, Fails, 0, "No video stream found"},
        {mediaPath("bad_audio.mkv"), Fails, 0, "Audio codec not found!"},
        {mediaPath("wide_17000.mkv"), Fails, 0, "Picture size 17000x16 is larger than 16384 pixels on a side"},
        {mediaPath("missing.mp4"), Fails, 0, "Failed to open input: "},
        {mediaPath("truncated_moov.mp4"), Fails, 0, "Failed to open input: "},
        {garbage, Fails, 0, "Failed to find stream info: "},
        {fifo, Fails, 0, "Refused", false, 1},
        {"file:" + fifo, Fails, 0, "Refused", false, 1},
        {"/dev/null", Fails, 0, "Refused", false, 1},
        {"pipe:0", Fails, 0, "Refused", false, 1},
        {listenUrl, Fails, 0, "Failed to open input: -1414092869", false, 7}, // AVERROR_EXIT: interrupted
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture log;
        const auto start = std::chrono::steady_clock::now();
        MovieFile file(c.path, true);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::duration<double>(c.seconds));
        EXPECT_TRUE(!*c.message || log.count(c.message) > 0) << c.message;
        ASSERT_EQ(file.isOpen(), c.video != Fails);
        if (!file.isOpen())
            continue;
        EXPECT_EQ(log.count("Input #0"), 1); // the stream description, once over both attempts
        EXPECT_EQ(std::make_pair(file.videoStreamIndex, file.audioStreamIndex), std::make_pair(c.video, c.audio));
        EXPECT_TRUE(file.hasVideo == (c.video >= 0) && (file.videoCodecContext != nullptr) == (c.video >= 0));
        EXPECT_TRUE(file.hasAudio == (c.audio >= 0) && (file.audioCodecContext != nullptr) == (c.audio >= 0));
        EXPECT_EQ(file.coverArt, c.cover);
        EXPECT_TRUE(!c.cover || file.videoCodecContext->width == 64);
        EXPECT_GT(file.durationMs(), 1900);
        file.close(); // and again on destruction
    }
    unlink(fifo.c_str());
    EXPECT_TRUE(MovieFile::acceptPictureSize(16384, 4096));
    EXPECT_FALSE(MovieFile::acceptPictureSize(16384, 4097)); // one frame over 256 MiB
}

} // namespace
