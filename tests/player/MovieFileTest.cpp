// Which streams an open chooses, or that it fails, in time: sources that could
// block for ever are refused at once, a listening socket nobody connects to
// gives up after 5 s. The failures a host reports are host_scripted's and
// e2e_playback's, the tracks it hears and sees e2e_realworld's.
#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "player/MovieFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

TEST(MovieFile, OpensTheRightStreamsOrFailsInTime)
{
    const std::string fifo = std::string(PLA_BINARY_DIR) + "/movie-file-test.fifo";
    const std::string subtitles = std::string(PLA_BINARY_DIR) + "/movie-file-test.srt";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:02,000\nno picture, no sound\n";
    int port;
    ::close(loopbackSocket(port)); // a port nobody listens on

    constexpr int Fails = -2;
    const struct Case {
        std::string path;
        int video, audio;   // chosen streams; video Fails: the file does not open
        double seconds = 7; // the longest the open may take
    } cases[] = {
        {mediaPath("h264_aac.mp4"), 0, 1}, // hardware first: without a CUDA device software follows
        {mediaPath("vp9_opus.webm"), 0, 1},
        {mediaPath("mpeg4_mp3.avi"), 0, 1},
        {mediaPath("hevc.mkv"), 0, 1},
        {mediaPath("av1.mp4"), 0, 1},
        {mediaPath("v0_v1_a2.mkv"), 0, 2}, // all flagged default: the first of each
        {mediaPath("v0_a1_v2.mkv"), 0, 1},
        {mediaPath("video_cover.mp4"), 0, -1}, // the picture, not the cover (stream 1)
        {mediaPath("audio_only.m4a"), -1, 0},
        {subtitles, Fails, 0},
        {mediaPath("bad_audio.mkv"), Fails, 0},
        {fifo, Fails, 0, 1},
        {"file:" + fifo, Fails, 0, 1},
        {"/dev/null", Fails, 0, 1},
        {"pipe:0", Fails, 0, 1},
        {"tcp://127.0.0.1:" + std::to_string(port) + "?listen=1", Fails, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        MovieFile file(c.path, true);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::duration<double>(c.seconds));
        ASSERT_EQ(file.isOpen(), c.video != Fails);
        if (!file.isOpen())
            continue;
        EXPECT_EQ(std::make_pair(file.videoStreamIndex, file.audioStreamIndex), std::make_pair(c.video, c.audio));
        EXPECT_TRUE(file.hasVideo == (c.video >= 0) && (file.videoCodecContext != nullptr) == (c.video >= 0));
        EXPECT_TRUE(file.hasAudio == (c.audio >= 0) && (file.audioCodecContext != nullptr) == (c.audio >= 0));
        EXPECT_GT(file.durationMs(), 1900);
        file.close(); // and again on destruction
    }
    unlink(fifo.c_str());
    EXPECT_TRUE(MovieFile::acceptPictureSize(16384, 4096));
    EXPECT_FALSE(MovieFile::acceptPictureSize(16384, 4097)); // one frame over 256 MiB
    EXPECT_FALSE(MovieFile::acceptPictureSize(17000, 16));
}
