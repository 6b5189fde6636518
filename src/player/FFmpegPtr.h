// Owning pointers for the FFmpeg objects that the player's own code allocates.
// Each deleter calls the matching FFmpeg free function, so no other file frees
// these objects by hand. Not thread-aware: each pointer has one owner.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

struct AVFrameDeleter {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct AVPacketDeleter {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct SwrContextDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};

using AVFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
