// The sound decoder on its own: the timeline of its buffers and the amount of sound.
#include "PlayerTestSupport.h"
#include "common/TestMedia.h"
#include "player/AudioPacketDecoder.h"
#include "player/MovieFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

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

// Seconds of sound in the file and the first decoded frame's pts in ms, by FFmpeg alone.
std::pair<double, int64_t> soundOf(const std::string &path)
{
    MovieFile file(path, false);
    double seconds = 0;
    int64_t firstPtsMs = INT64_MIN;
    AVFrame *frame = av_frame_alloc();
    forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) {
        avcodec_send_packet(file.audioCodecContext, p);
        while (avcodec_receive_frame(file.audioCodecContext, frame) == 0) {
            if (firstPtsMs == INT64_MIN)
                firstPtsMs = av_rescale_q(frame->pts, file.audioTimeBase, AVRational{1, 1000000}) / 1000;
            seconds += double(frame->nb_samples) / frame->sample_rate;
        }
    });
    av_frame_free(&frame);
    return {seconds, firstPtsMs};
}

// Each buffer starts (to 1 ms) where the sound before it ends, from the first
// frame's own pts, and a hole in the stamps (av_flash_gap.mkv: 0.5 s at 2 s)
// stays on the timeline; both channels carry the sound, and all of it comes out.
TEST(PacketDecoders, SoundComesOutWholeOnATimelineFromTheFirstFrame)
{
    const std::pair<const char *, int> files[] = {{"h264_aac.mp4", 0},    {"mono48k.mp4", 0},
                                                  {"rw_mp3_22k.mkv", 0},  {"rw_mulaw_8k.avi", 0},
                                                  {"av_flash_gap.mkv", 500}};
    for (const auto &[name, gapMs] : files) {
        SCOPED_TRACE(name);
        const auto [seconds, firstPtsMs] = soundOf(mediaPath(name));
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
                ASSERT_EQ(s[i], s[i + 1]);
                peak = std::max(peak, std::fabs(s[i]));
            }
            samples += b->size / 8;
            pool.giveBack(b);
        };
        forEachPacket(file, file.audioStreamIndex, [&](AVPacket *p) { take(decoder.decode(p)); });
        for (int i = 0; i < 100 && !decoder.drained(); ++i)
            take(decoder.drain());
        EXPECT_TRUE(decoder.drained());
        EXPECT_NEAR(samples / 44100.0, seconds, 0.005);
        EXPECT_GT(peak, 0.05f); // lavfi's sine peaks at 1/8
    }
}

} // namespace
