// Turns one demuxed audio packet into one AudioBuffer in the output format,
// with time stamps on a continuous timeline that restarts after every seek.
// Called on the demux thread only; owns its scratch frame, resampler and rate
// counter, borrows the codec context (MovieFile) and the pool (engine).
#pragma once

#include "player/AudioBuffer.h"
#include "player/AudioOutputFormat.h"
#include "player/FFmpegPtr.h"
#include "player/FreePool.h"
#include "support/FpsCounter.h"

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

class AudioPacketDecoder {
public:
    AudioPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase, FreePool<AudioBuffer> *bufferPool,
                       AudioOutputFormat format);
    AudioPacketDecoder(const AudioPacketDecoder &) = delete;
    AudioPacketDecoder &operator=(const AudioPacketDecoder &) = delete;

    // A filled buffer now owned by the caller, or null (no sound yet, decoder
    // or resampler error, or no free buffer: the sound is then dropped).
    AudioBuffer *decode(AVPacket *packet);

    // Rebuilds the resampler; the next decoded frame starts a new timeline.
    void resetResampler();

    // Written by the demux thread, read by statistics getters without a lock.
    const FpsCounter &counter() const { return rateCounter; }

private:
    AVCodecContext *codecContext;
    SwrContextPtr resampler;
    FreePool<AudioBuffer> *bufferPool;
    AudioOutputFormat format;
    AVFramePtr frame;
    int64_t startMs = 0;
    bool needStart = false;
    AVRational timeBase;
    FpsCounter rateCounter;
    int channels; // of the output layout
};
