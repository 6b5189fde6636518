// Owning pointers for the frames, packets and resamplers that the decoding code
// in this directory allocates; each deleter calls the matching FFmpeg free
// function. The objects MovieFile opens (demuxer, codec contexts, hardware
// device) are not held here: the decoders and the engine read them as plain
// pointers, and MovieFile::release() frees them by hand. Not thread-aware:
// each pointer has one owner.
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
struct AVBufferRefDeleter {
    void operator()(AVBufferRef *buffer) const { av_buffer_unref(&buffer); }
};
struct SwrContextDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};

using AVFramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using AVBufferRefPtr = std::unique_ptr<AVBufferRef, AVBufferRefDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
