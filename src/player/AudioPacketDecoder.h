// Turns one demuxed audio packet into one AudioBuffer in the output format,
// with time stamps on a continuous timeline that restarts after every seek.
// All the sound comes out: a buffer holds everything the resampler can give
// for its input (growing as needed), and draining at the end of input empties
// the decoder and then the resampler.
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
    // originUs: start of the file's timeline on the stream's clock.
    AudioPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase, FreePool<AudioBuffer> *bufferPool,
                       AudioOutputFormat format, int64_t originUs = 0);
    AudioPacketDecoder(const AudioPacketDecoder &) = delete;
    AudioPacketDecoder &operator=(const AudioPacketDecoder &) = delete;

    // A filled buffer now owned by the caller, or null (no sound yet, decoder
    // or resampler error, or no free buffer: the sound is then dropped). All
    // the frames the packet makes go into the one buffer.
    AudioBuffer *decode(AVPacket *packet);
    // Where the sound given out so far ends on the current timeline, in ms.
    int64_t endMs() const;

    // At the end of input: the sound the decoder and then the resampler still
    // hold, one buffer per call; null once nothing is left (drained() is then
    // true) or no buffer is free.
    AudioBuffer *drain();
    bool drained() const { return finished; }

    // Rebuilds the resampler; the next decoded frame starts a new timeline
    // (at positionMs when it carries no time stamp), and draining may start again.
    void resetResampler(int64_t positionMs = 0);

    // Written by the demux thread, read by statistics getters without a lock.
    const FpsCounter &counter() const { return rateCounter; }

private:
    void buildResampler(int rate, int inChannels, AVSampleFormat sampleFormat);
    int64_t nextOffsetMs() const;
    AudioBuffer *receive(AudioBuffer *into);
    AudioBuffer *convert(const AVFrame *input, AudioBuffer *into);

    AVCodecContext *codecContext;
    SwrContextPtr resampler;
    int inRate = 0, inChannelCount = 0; // the input the resampler was made for
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    FreePool<AudioBuffer> *bufferPool;
    AudioOutputFormat format;
    AVFramePtr frame;
    int64_t startMs = 0;
    bool needStart = false;
    AVRational timeBase;
    FpsCounter rateCounter;
    int channels; // of the output layout
    int64_t originUs;
    int64_t restartMs = 0; // start of a timeline whose first frame has no time stamp
    int64_t previousStampMs = AV_NOPTS_VALUE; // of the last frame with a stamp, and the
    double previousLengthMs = 0;              // length of the sound from there on
    int lastStatus = 0; // of the latest avcodec_receive_frame
    bool draining = false;
    bool finished = false;
};
