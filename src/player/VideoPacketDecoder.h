// Turns one demuxed video packet into one converted frame taken from the video
// pool. Called on the demux thread only; owns its scratch frame and rate
// counter, borrows the codec context (MovieFile) and the pool (engine).
#pragma once

#include "player/FFmpegPtr.h"
#include "player/FreePool.h"
#include "support/FpsCounter.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

class AbstractVideoFrame;

class VideoPacketDecoder {
public:
    VideoPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                       FreePool<AbstractVideoFrame> *framePool);
    VideoPacketDecoder(const VideoPacketDecoder &) = delete;
    VideoPacketDecoder &operator=(const VideoPacketDecoder &) = delete;

    // A filled frame now owned by the caller, or null (no picture yet, decoder
    // error, or no free frame: the picture is then dropped).
    AbstractVideoFrame *decode(AVPacket *packet);

    // Written by the demux thread, read by statistics getters without a lock.
    const FpsCounter &counter() const { return rateCounter; }

private:
    AVCodecContext *codecContext;
    AVFramePtr frame;
    AVRational timeBase;
    FreePool<AbstractVideoFrame> *framePool;
    FpsCounter rateCounter;
};
