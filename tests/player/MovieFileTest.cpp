// Opening a file: the streams chosen, or a failure in time (sources that could
// block for ever at once, a listening socket after 5 s). Then the decoders alone.
#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "frames/AbstractVideoFrame.h"
#include "player/AudioPacketDecoder.h"
#include "player/MovieFile.h"
#include "player/TimelineJoiner.h"
#include "player/VideoPacketDecoder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

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

namespace {

// Each packet of the stream (of every stream when it is negative), read to the end.
void forEachPacket(MovieFile &file, int stream, const std::function<void(AVPacket *)> &each)
{
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(file.formatContext, packet) >= 0) {
        if (stream < 0 || packet->stream_index == stream)
            each(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

// By FFmpeg alone: seconds of sound, the first frame's pts (ms), the first channel's peak.
std::tuple<double, int64_t, float> soundOf(const std::string &path)
{
    MovieFile file(path, false);
    double seconds = 0;
    int64_t firstPtsMs = INT64_MIN;
    float peak = 0;
    AVFrame *frame = av_frame_alloc();
    forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) {
        avcodec_send_packet(file.audioCodecContext, p);
        while (avcodec_receive_frame(file.audioCodecContext, frame) == 0) {
            if (firstPtsMs == INT64_MIN)
                firstPtsMs = av_rescale_q(frame->pts, file.audioTimeBase, AVRational{1, 1000000}) / 1000;
            seconds += double(frame->nb_samples) / frame->sample_rate;
            const auto format = AVSampleFormat(frame->format);
            const int step = av_sample_fmt_is_planar(format) ? 1 : frame->ch_layout.nb_channels;
            for (int i = 0; i < frame->nb_samples * step; i += step)
                peak = std::max(peak, av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_S16
                                          ? std::fabs(reinterpret_cast<const int16_t *>(frame->data[0])[i] / 32768.0f)
                                          : std::fabs(reinterpret_cast<const float *>(frame->data[0])[i]));
        }
    });
    av_frame_free(&frame);
    return {seconds, firstPtsMs, peak};
}

// Two recordings joined byte for byte, both from 1.4 s: past the join each
// stream's stamps go on, moved by the same amount, to the end of the 4 s.
TEST(TimelineJoiner, JoinedRecordingsGoOnTogether)
{
    MovieFile file(mediaPath("rw_reset.ts"), false);
    ASSERT_TRUE(file.isOpen());
    TimelineJoiner joiner(file.formatContext, {file.videoStreamIndex, file.audioStreamIndex});
    std::map<int, std::pair<int64_t, int64_t>> lastAndShift; // per stream, in µs
    forEachPacket(file, -1, [&](AVPacket *packet) {
        const AVRational base = file.formatContext->streams[packet->stream_index]->time_base;
        const int64_t raw = av_rescale_q(packet->dts, base, AV_TIME_BASE_Q);
        joiner.apply(packet);
        const int64_t at = av_rescale_q(packet->dts, base, AV_TIME_BASE_Q);
        auto [known, fresh] = lastAndShift.try_emplace(packet->stream_index, at, at - raw);
        // Within a frame or two: a sound coder's priming reaches back before the join.
        EXPECT_TRUE(fresh || at >= known->second.first - 50000) << "stream " << packet->stream_index << " went back at " << raw;
        known->second = {at, at - raw};
    });
    ASSERT_EQ(lastAndShift.size(), 2u);
    EXPECT_NEAR(double(lastAndShift[0].second), double(lastAndShift[1].second), 1000.0) << "the streams moved apart";
    EXPECT_NEAR(double(joiner.latestEndUs() - file.startUs), 4e6, 1e5);
}

// Each buffer starts (to 1 ms) where the one before ends, from the first
// frame's pts, keeping a hole in the stamps (0.5 s at 2 s); both channels at
// the source's level (mono and a 5.1 downmix too), all of it, across a format
// change, a chained Ogg stream and packets of several frames.
TEST(PacketDecoders, SoundComesOutWholeOnATimelineFromTheFirstFrame)
{
    const std::pair<const char *, int> files[] = {{"h264_aac.mp4", 0},    {"mono48k.mp4", 0},
                                                  {"rw_mp3_22k.mkv", 0},  {"rw_mulaw_8k.avi", 0},
                                                  {"av_flash_gap.mkv", 500}, {"rw_joined.ts", 0},
                                                  {"rw_chained.ogg", 0},  {"rw_adpcm.wav", 0},
                                                  {"rw_51.mka", 0}};
    for (const auto &[name, gapMs] : files) {
        SCOPED_TRACE(name);
        const auto [seconds, firstPtsMs, sourcePeak] = soundOf(mediaPath(name));
        MovieFile file(mediaPath(name), false);
        FreePool<AudioBuffer> pool;
        stock(pool, 1, [] { return new AudioBuffer; });
        AudioPacketDecoder decoder(file.audioCodecContext, file.audioTimeBase, &pool, EngineFormat);
        decoder.resetResampler(); // a second build must restart the timeline the same way
        uint64_t samples = 0;
        float peak = 0;
        const auto take = [&](AudioBuffer *b) {
            if (!b)
                return;
            const double soundMs = samples * 1000.0 / 44100, hole = soundMs >= 2000 ? gapMs : 0;
            ASSERT_NEAR(b->ptsMs, firstPtsMs + soundMs + hole, samples == 0 ? 0.0 : 1.0) << samples;
            const float *s = reinterpret_cast<const float *>(b->data);
            for (uint32_t i = 0; i + 1 < b->size / 4; i += 2) {
                ASSERT_NEAR(s[i], s[i + 1], 1e-3); // a stereo coder may round them apart
                peak = std::max(peak, std::fabs(s[i]));
            }
            samples += b->size / 8;
            pool.giveBack(b);
        };
        TimelineJoiner joiner(file.formatContext, {file.audioStreamIndex});
        forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) {
            joiner.apply(p);
            take(decoder.decode(p));
        });
        for (int i = 0; i < 100 && !decoder.drained(); ++i)
            take(decoder.drain());
        EXPECT_TRUE(decoder.drained());
        EXPECT_NEAR(samples / 44100.0, seconds, 0.005);
        EXPECT_NEAR(peak, sourcePeak, 0.1 * sourcePeak);
    }
}

// Notes whether the picture it was filled with was still interlaced, its stamp and its sample aspect ratio.
struct NotedFrame : AbstractVideoFrame {
    NotedFrame() : AbstractVideoFrame(16, 16) {}
    void updateTexture(FrameTexture &) override {}
    void fill(const AVFrame *frame, AVPixelFormat, int64_t ms) override
    {
        interlaced = frame->interlaced_frame;
        stampMs = ms;
        aspect = frame->sample_aspect_ratio;
    }
    bool interlaced = false;
    int64_t stampMs = 0;
    AVRational aspect{0, 1};
};

// 25 a second at their times, deinterlaced, with the container's aspect over the codec's.
TEST(PacketDecoders, PicturesComeOutWholeAtTheirTimesAndShapes)
{
    for (const char *name : {"fid_interlaced.ts", "rw_h263.3gp"}) {
        SCOPED_TRACE(name);
        MovieFile file(mediaPath(name), false);
        ASSERT_TRUE(file.isOpen());
        FreePool<AbstractVideoFrame> pool;
        stock(pool, 1, [] { return new NotedFrame; });
        VideoPacketDecoder decoder(file.videoCodecContext, file.videoTimeBase, &pool, file.startUs,
                                   file.videoFrameRate, file.sampleAspect,
                                   file.formatContext->streams[file.videoStreamIndex]);
        int pictures = 0, interlaced = 0, offBeat = 0, notSquare = 0; // off beat: not 40 ms after the one before
        int64_t previousMs = -1;
        const auto take = [&](AbstractVideoFrame *picture) {
            if (!picture)
                return;
            ++pictures;
            const auto *noted = static_cast<NotedFrame *>(picture);
            interlaced += noted->interlaced;
            offBeat += previousMs >= 0 && noted->stampMs - previousMs != 40;
            notSquare += av_cmp_q(noted->aspect, AVRational{1, 1}) != 0;
            previousMs = noted->stampMs;
            pool.giveBack(picture);
        };
        forEachPacket(file, file.videoStreamIndex, [&](AVPacket *p) { take(decoder.decode(p)); });
        for (int i = 0; i < 100 && !decoder.drained(); ++i)
            take(decoder.drain());
        EXPECT_EQ(pictures, 50);
        EXPECT_EQ(interlaced, 0);
        EXPECT_EQ(offBeat, 0) << "the filter's stamps, in its own time base, were taken as the stream's";
        EXPECT_EQ(notSquare, 0);
    }
}

} // namespace
