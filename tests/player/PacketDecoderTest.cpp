#include "PlayerTestSupport.h"
#include "common/GlTestContext.h"
#include "common/TestMedia.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/AudioPacketDecoder.h"
#include "player/FrameSlot.h"
#include "player/MovieFile.h"
#include "player/VideoPacketDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

class PacketDecoders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "needs the test display (tools/test-env.sh)"; }

    // Every video frame of the file (decoder drained at the end), each given
    // back to the pool once looked at. rewritePts, when set, replaces each
    // packet's pts before decoding.
    std::vector<int64_t> decodeVideo(MovieFile &file, const AVRational &timeBase,
                                     const std::function<int64_t(int)> &rewritePts = nullptr)
    {
        EngineQueues queues(file.videoCodecContext->width, file.videoCodecContext->height);
        VideoPacketDecoder decoder(file.videoCodecContext, timeBase, &queues.videoFreePool);
        std::vector<int64_t> stamps;
        auto take = [&](AbstractVideoFrame *frame) {
            if (!frame)
                return false;
            stamps.push_back(frame->getTimestamp());
            EXPECT_EQ(static_cast<RecordingFrame *>(frame)->sourceFormat, file.videoCodecContext->pix_fmt);
            queues.videoFreePool.giveBack(frame);
            return true;
        };
        AVPacket *packet = av_packet_alloc();
        int index = 0;
        while (av_read_frame(file.formatContext, packet) >= 0) {
            if (packet->stream_index == file.videoStreamIndex) {
                if (rewritePts)
                    packet->pts = rewritePts(index);
                ++index;
                take(decoder.decode(packet));
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        while (take(decoder.decode(nullptr))) {
        }
        return stamps;
    }

    GlTestContext gl;
};

// Source pts of the video packets, in ms, in presentation order.
std::vector<int64_t> packetTimesMs(const std::string &path)
{
    MovieFile file(path, false);
    std::vector<int64_t> times;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == file.videoStreamIndex)
            times.push_back(av_rescale_q(packet->pts, file.videoTimeBase, AVRational{1, 1000000}) / 1000);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    std::sort(times.begin(), times.end());
    return times;
}

TEST_F(PacketDecoders, EveryVideoFrameLeavesWithItsSourcePtsInMs)
{
    for (const char *name : {"h264_aac.mp4", "ts90k.ts", "vp9_opus.webm"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        MovieFile file(path, false);
        ASSERT_TRUE(file.isOpen());
        if (std::string(name) == "ts90k.ts") {
            EXPECT_EQ(file.videoTimeBase.num, 1);
            EXPECT_EQ(file.videoTimeBase.den, 90000);
        }
        EXPECT_EQ(decodeVideo(file, file.videoTimeBase), packetTimesMs(path));
    }
}

TEST_F(PacketDecoders, NinetyKilohertzStampsTruncateTowardZero)
{
    const std::string path = mediaPath("video_only.mp4");
    MovieFile file(path, false);
    ASSERT_TRUE(file.isOpen());
    const int64_t pts[] = {90000, -1, -91, 89, 180045};
    const std::vector<int64_t> stamps =
        decodeVideo(file, AVRational{1, 90000}, [&](int i) { return pts[i % 5]; });
    ASSERT_EQ(stamps.size(), 120u);
    const int64_t expected[] = {1000, 0, -1, 0, 2000};
    for (size_t i = 0; i < stamps.size(); ++i)
        ASSERT_EQ(stamps[i], expected[i % 5]) << "frame " << i;
}

TEST_F(PacketDecoders, EmptyPoolsDropWhatWasDecoded)
{
    const std::string path = mediaPath("h264_aac.mp4");
    MovieFile file(path, false);
    ASSERT_TRUE(file.isOpen());
    FreePool<AbstractVideoFrame> noFrames;
    FreePool<AudioBuffer> noBuffers;
    VideoPacketDecoder video(file.videoCodecContext, file.videoTimeBase, &noFrames);
    AudioPacketDecoder audio(file.audioCodecContext, file.audioTimeBase, &noBuffers, EngineFormat);
    AVPacket *packet = av_packet_alloc();
    for (int i = 0; i < 100 && av_read_frame(file.formatContext, packet) >= 0; ++i) {
        if (packet->stream_index == file.videoStreamIndex)
            EXPECT_EQ(video.decode(packet), nullptr);
        else
            EXPECT_EQ(audio.decode(packet), nullptr);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

struct AudioRun {
    std::vector<int64_t> pts;
    std::vector<uint32_t> sizes;
    std::vector<int> inputSamples;
    float peak = 0;
    bool channelsEqual = true;
};

// Decodes every audio packet from where the demuxer stands; the first frame's
// own pts (ms) is reported through firstFramePtsMs.
AudioRun decodeAudio(MovieFile &file, AudioPacketDecoder &decoder, FreePool<AudioBuffer> &pool)
{
    AudioRun run;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == file.audioStreamIndex) {
            if (AudioBuffer *buffer = decoder.decode(packet)) {
                run.pts.push_back(buffer->ptsMs);
                run.sizes.push_back(buffer->size);
                const float *s = reinterpret_cast<const float *>(buffer->data);
                for (uint32_t i = 0; i + 1 < buffer->size / 4; i += 2) {
                    run.peak = std::max(run.peak, std::fabs(s[i]));
                    run.channelsEqual = run.channelsEqual && s[i] == s[i + 1];
                }
                pool.giveBack(buffer);
            }
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return run;
}

int64_t firstAudioFramePtsMs(const std::string &path, int64_t fromUs)
{
    MovieFile file(path, false);
    av_seek_frame(file.formatContext, -1, fromUs, AVSEEK_FLAG_BACKWARD);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int64_t pts = INT64_MIN;
    while (pts == INT64_MIN && av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == file.audioStreamIndex && avcodec_send_packet(file.audioCodecContext, packet) == 0 &&
            avcodec_receive_frame(file.audioCodecContext, frame) == 0)
            pts = av_rescale_q(frame->pts, file.audioTimeBase, AVRational{1, 1000000}) / 1000;
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    return pts;
}

// Each buffer starts where the sound of the buffers before it ends (to 1 ms),
// counted from the first frame's pts; no buffer holds more than its frame's samples.
void expectContinuousTimeline(const AudioRun &run, int64_t startMs, int inputSamplesPerFrame)
{
    ASSERT_GT(run.pts.size(), 50u);
    EXPECT_EQ(run.pts[0], startMs);
    uint64_t samples = 0;
    for (size_t i = 0; i < run.pts.size(); ++i) {
        const double expected = startMs + samples * 1000.0 / 44100;
        ASSERT_NEAR(run.pts[i], expected, 1.0) << "buffer " << i;
        ASSERT_EQ(run.sizes[i] % 8, 0u);
        ASSERT_LE(run.sizes[i], static_cast<uint32_t>(inputSamplesPerFrame) * 8);
        samples += run.sizes[i] / 8;
    }
    EXPECT_GT(run.peak, 0.05f); // lavfi sine peaks at 1/8
    EXPECT_TRUE(run.channelsEqual);
}

TEST_F(PacketDecoders, AudioBuffersFormContinuousTimelineFromFirstFrame)
{
    for (const char *name : {"h264_aac.mp4", "mono48k.mp4"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        MovieFile file(path, false);
        ASSERT_TRUE(file.isOpen());
        EngineQueues queues(16, 16);
        AudioPacketDecoder decoder(file.audioCodecContext, file.audioTimeBase, &queues.audioFreePool, EngineFormat);
        expectContinuousTimeline(decodeAudio(file, decoder, queues.audioFreePool), firstAudioFramePtsMs(path, 0),
                                 1024);

        // After a reset the timeline starts again at the next frame's own pts.
        av_seek_frame(file.formatContext, -1, 2000000, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(file.audioCodecContext);
        decoder.resetResampler();
        const AudioRun again = decodeAudio(file, decoder, queues.audioFreePool);
        const int64_t restart = firstAudioFramePtsMs(path, 2000000);
        EXPECT_GT(restart, 1000);
        expectContinuousTimeline(again, restart, 1024);
    }
}

TEST_F(PacketDecoders, PatternConvertsLikeFfmpegToRgba)
{
    const std::string path = mediaPath("pattern.mkv");
    MovieFile file(path, false);
    ASSERT_TRUE(file.isOpen());
    SwsVideoFrameBuilder builder;
    FreePool<AbstractVideoFrame> pool;
    pool.setCapacity(1);
    AbstractVideoFrame *frame = new SwsVideoFrame(&builder, 320, 240);
    pool.giveBack(frame);
    VideoPacketDecoder decoder(file.videoCodecContext, file.videoTimeBase, &pool);

    AVPacket *packet = av_packet_alloc();
    AbstractVideoFrame *out = nullptr;
    while (!out && av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == file.videoStreamIndex)
            out = decoder.decode(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!out)
        out = decoder.decode(nullptr); // a one-picture file comes out when drained
    ASSERT_NE(out, nullptr);

    std::ifstream raw(mediaPath("pattern_rgba.raw"), std::ios::binary);
    const std::vector<uint8_t> reference{std::istreambuf_iterator<char>(raw), {}};
    ASSERT_EQ(reference.size(), static_cast<size_t>(out->getDataSize()));
    int worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        worst = std::max(worst, std::abs(int(reference[i]) - int(out->getData()[i])));
    EXPECT_LE(worst, 2);

    // The slot shows the frame's own texture once a frame is in it.
    FrameSlot slot;
    EXPECT_EQ(slot.currentTexture(), 0u);
    EXPECT_EQ(slot.exchange(out), nullptr);
    EXPECT_EQ(slot.currentTexture(), out->textureId());
    EXPECT_EQ(readTextureRgba(out->textureId(), 320, 240), std::vector<uint8_t>(out->getData(),
                                                                               out->getData() + out->getDataSize()));
    EXPECT_EQ(slot.exchange(nullptr), out);
    delete out;
}

} // namespace
