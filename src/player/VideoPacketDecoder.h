// Turns demuxed video packets into converted frames taken from the video pool,
// with times on the file's timeline (ms from its start). Called on the demux
// thread only; owns its scratch frame and rate counter, borrows the codec
// context (MovieFile) and the pool (engine).
#pragma once

#include "player/Deinterlacer.h"
#include "player/FFmpegPtr.h"
#include "player/FreePool.h"
#include "support/FpsCounter.h"

#include <array>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

class AbstractVideoFrame;

class VideoPacketDecoder {
public:
    // originUs: start of the timeline on the stream's clock. frameRate: the
    // stream's rate, used to time pictures that carry no time stamp and no
    // duration. sampleAspect: the stream's, for pictures that do not say;
    // the container's own (stream->sample_aspect_ratio), where it states one, wins.
    // stream: its display matrix and HDR metadata hold for pictures that do not say.
    VideoPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                       FreePool<AbstractVideoFrame> *framePool, int64_t originUs = 0,
                       AVRational frameRate = AVRational{0, 1}, AVRational sampleAspect = AVRational{0, 1},
                       const AVStream *stream = nullptr);
    VideoPacketDecoder(const VideoPacketDecoder &) = delete;
    VideoPacketDecoder &operator=(const VideoPacketDecoder &) = delete;

    // A filled frame now owned by the caller, or null (no picture yet, decoder
    // error, or no free frame: the picture is then dropped).
    AbstractVideoFrame *decode(AVPacket *packet);

    // At the end of input: the pictures the decoder still holds, one per call;
    // null once it has none left (drained() is then true) or no frame is free.
    AbstractVideoFrame *drain();
    bool drained() const { return finished; }

    // After a seek (the codec context flushed): pictures without a time stamp
    // are timed from positionUs on, and draining may start again.
    void restart(int64_t positionUs);

    // End of the latest picture produced (its time plus its duration), ms.
    int64_t lastPictureEndMs() const { return lastEndUs / 1000; }

    // Written by the demux thread, read by statistics getters without a lock.
    const FpsCounter &counter() const { return rateCounter; }

private:
    AbstractVideoFrame *receive();
    int64_t pictureTimeUs(int64_t &durationUs) const;
    void carryStreamFacts();

    AVCodecContext *codecContext;
    AVFramePtr frame;
    AVRational timeBase;
    FreePool<AbstractVideoFrame> *framePool;
    FpsCounter rateCounter;
    int64_t originUs;
    AVRational frameRate;
    AVRational sampleAspect;
    AVRational containerAspect{0, 1}; // the container's, when it states one
    Deinterlacer deinterlacer;
    // The latest display matrix, mastering display and content light side
    // data seen (first the stream's): the file gives them once, they hold for
    // every later picture.
    std::array<AVBufferRefPtr, 3> streamFacts;
    int lastStatus = 0;  // of the latest avcodec_receive_frame
    int64_t nextUs = 0;  // where a picture without a time stamp goes
    int64_t lastEndUs = 0;
    bool draining = false;
    bool finished = false;
};
