#include "PlayerTestSupport.h"
#include "common/GlTestContext.h"
#include "common/TestMedia.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/AudioPacketDecoder.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/MovieFile.h"
#include "player/VideoPacketDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace {

// Calls each(packet) for every packet of the given stream, from where the demuxer stands.
void forEachPacket(MovieFile &file, int stream, const std::function<void(AVPacket *)> &each)
{
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == stream)
            each(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

class PacketDecoders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "needs the test display (tools/test-env.sh)"; }

    // Stamps of every picture (the decoder drained at the end); rewritePts,
    // when set, replaces the pts of the i-th packet.
    std::vector<int64_t> videoStamps(const std::string &path, AVRational timeBase,
                                     const std::function<int64_t(int)> &rewritePts = nullptr)
    {
        MovieFile file(path, false);
        EngineQueues queues(16, 16);
        VideoPacketDecoder decoder(file.videoCodecContext, timeBase, &queues.videoFreePool);
        std::vector<int64_t> stamps;
        auto take = [&](AbstractVideoFrame *frame) {
            if (frame) {
                stamps.push_back(frame->getTimestamp());
                queues.videoFreePool.giveBack(frame);
            }
            return frame != nullptr;
        };
        int i = 0;
        forEachPacket(file, file.videoStreamIndex, [&](AVPacket *packet) {
            if (rewritePts)
                packet->pts = rewritePts(i++);
            take(decoder.decode(packet));
        });
        while (take(decoder.decode(nullptr))) {
        }
        return stamps;
    }

    GlTestContext gl;
};

TEST_F(PacketDecoders, EveryPictureLeavesWithItsSourcePtsInMs)
{
    for (const char *name : {"h264_aac.mp4", "ts90k.ts", "vp9_opus.webm"}) {
        SCOPED_TRACE(name);
        MovieFile file(mediaPath(name), false);
        std::vector<int64_t> expected;
        forEachPacket(file, file.videoStreamIndex, [&](AVPacket *p) {
            expected.push_back(av_rescale_q(p->pts, file.videoTimeBase, AVRational{1, 1000000}) / 1000);
        });
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(videoStamps(mediaPath(name), file.videoTimeBase), expected);
    }
    MovieFile ts(mediaPath("ts90k.ts"), false);
    EXPECT_EQ(ts.videoTimeBase.den, 90000);

    // 90 kHz stamps truncate toward zero: -1 (-11 us) is 0 ms and -91 is -1 ms.
    const int64_t pts[] = {-91, -1, 89, 90000};
    const std::vector<int64_t> stamps =
        videoStamps(mediaPath("video_only.mp4"), {1, 90000}, [&](int i) { return i < 4 ? pts[i] : 90000 + 3000 * i; });
    ASSERT_EQ(stamps.size(), 120u);
    EXPECT_EQ(std::vector<int64_t>(stamps.begin(), stamps.begin() + 4), (std::vector<int64_t>{-1, 0, 0, 1000}));
    EXPECT_EQ(stamps.back(), 1000 + 119 * 3000 / 90);
}

// From startFromUs on: each buffer starts (to 1 ms) where the sound before it
// ends, counted from the first frame's own pts; both channels carry the sound.
void expectContinuousAudio(const std::string &path, int64_t startFromUs)
{
    MovieFile file(path, false), reference(path, false);
    for (MovieFile *f : {&file, &reference})
        av_seek_frame(f->formatContext, -1, startFromUs, AVSEEK_FLAG_BACKWARD);
    int64_t firstPtsMs = INT64_MIN;
    AVFrame *frame = av_frame_alloc();
    forEachPacket(reference, reference.audioStreamIndex, [&](AVPacket *p) {
        if (firstPtsMs == INT64_MIN && avcodec_send_packet(reference.audioCodecContext, p) == 0 &&
            avcodec_receive_frame(reference.audioCodecContext, frame) == 0)
            firstPtsMs = av_rescale_q(frame->pts, reference.audioTimeBase, AVRational{1, 1000000}) / 1000;
    });
    av_frame_free(&frame);

    FreePool<AudioBuffer> pool;
    pool.setCapacity(1);
    AudioBuffer *one = new AudioBuffer;
    pool.giveBack(one);
    AudioPacketDecoder decoder(file.audioCodecContext, file.audioTimeBase, &pool, EngineFormat);
    decoder.resetResampler(); // a second build must restart the timeline the same way
    uint64_t samples = 0;
    int buffers = 0;
    float peak = 0;
    forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) {
        AudioBuffer *b = decoder.decode(p);
        if (!b)
            return;
        ASSERT_NEAR(b->ptsMs, firstPtsMs + samples * 1000.0 / 44100, buffers == 0 ? 0.0 : 1.0) << "buffer " << buffers;
        ASSERT_LE(b->size, 1024u * 8); // no higher output rate here: no more than the frame's own samples
        const float *s = reinterpret_cast<const float *>(b->data);
        for (uint32_t i = 0; i + 1 < b->size / 4; i += 2) {
            ASSERT_EQ(s[i], s[i + 1]);
            peak = std::max(peak, std::fabs(s[i]));
        }
        samples += b->size / 8;
        ++buffers;
        pool.giveBack(b);
    });
    EXPECT_GT(buffers, 40);
    EXPECT_GT(peak, 0.05f); // lavfi's sine peaks at 1/8
}

TEST_F(PacketDecoders, AudioBuffersFormContinuousTimelineFromFirstFrame)
{
    for (const char *name : {"h264_aac.mp4", "mono48k.mp4"}) {
        SCOPED_TRACE(name);
        expectContinuousAudio(mediaPath(name), 0);
        expectContinuousAudio(mediaPath(name), 2000000);
    }
}

// Sound below the output rate comes out whole, the resampler's last samples
// included once the decoder is drained.
TEST_F(PacketDecoders, LowRateSoundComesOutWhole)
{
    for (const char *name : {"rw_mp3_22k.mkv", "rw_mulaw_8k.avi"}) {
        SCOPED_TRACE(name);
        MovieFile file(mediaPath(name), false), reference(mediaPath(name), false);
        double expectedSeconds = 0;
        AVFrame *frame = av_frame_alloc();
        forEachPacket(reference, reference.audioStreamIndex, [&](AVPacket *p) {
            avcodec_send_packet(reference.audioCodecContext, p);
            while (avcodec_receive_frame(reference.audioCodecContext, frame) == 0)
                expectedSeconds += double(frame->nb_samples) / frame->sample_rate;
        });
        av_frame_free(&frame);

        FreePool<AudioBuffer> pool;
        pool.setCapacity(1);
        AudioBuffer *buffer = new AudioBuffer;
        pool.giveBack(buffer);
        AudioPacketDecoder decoder(file.audioCodecContext, file.audioTimeBase, &pool, EngineFormat);
        uint64_t samples = 0;
        auto take = [&](AudioBuffer *b) {
            if (b) {
                samples += b->size / 8;
                pool.giveBack(b);
            }
        };
        forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) { take(decoder.decode(p)); });
        for (int i = 0; i < 100 && !decoder.drained(); ++i)
            take(decoder.drain());
        EXPECT_TRUE(decoder.drained());
        EXPECT_NEAR(samples / 44100.0, expectedSeconds, 0.005);
    }
}

TEST_F(PacketDecoders, PatternConvertsLikeFfmpegToRgbaAndReachesTheSlot)
{
    MovieFile file(mediaPath("pattern.mkv"), false);
    SwsVideoFrameBuilder builder;
    FreePool<AbstractVideoFrame> pool;
    pool.setCapacity(1);
    AbstractVideoFrame *frame = new SwsVideoFrame(&builder, 320, 240);
    pool.giveBack(frame);
    VideoPacketDecoder decoder(file.videoCodecContext, file.videoTimeBase, &pool);
    AbstractVideoFrame *out = nullptr;
    forEachPacket(file, file.videoStreamIndex, [&](AVPacket *p) { out = out ? out : decoder.decode(p); });
    if (!out)
        out = decoder.decode(nullptr); // a one-picture file comes out when drained
    ASSERT_NE(out, nullptr);

    std::ifstream raw(mediaPath("pattern_rgba.raw"), std::ios::binary);
    const std::vector<uint8_t> reference{std::istreambuf_iterator<char>(raw), {}};
    const std::vector<uint8_t> pixels(out->getData(), out->getData() + out->getDataSize());
    ASSERT_EQ(reference.size(), pixels.size());
    int worst = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        worst = std::max(worst, std::abs(int(reference[i]) - int(pixels[i])));
    EXPECT_LE(worst, 2);

    FrameSlot slot;
    FrameTexture texture;
    EXPECT_EQ(slot.currentTexture(texture), 0u);
    EXPECT_EQ(slot.exchange(out), nullptr);
    const unsigned int name = slot.currentTexture(texture);
    EXPECT_NE(name, 0u);
    EXPECT_EQ(name, texture.id());
    EXPECT_EQ(readTextureRgba(texture.id(), 320, 240), pixels);
    delete slot.exchange(nullptr);
}

} // namespace
