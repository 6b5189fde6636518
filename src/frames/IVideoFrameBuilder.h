#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Converts a decoded picture into the pixel store of a frame. Used by the one
// demux thread of the loaded file.
class IVideoFrameBuilder {
public:
    virtual ~IVideoFrameBuilder() = default;
    virtual void convert(uint8_t **dst, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                         AVPixelFormat dstFormat, const AVFrame *frame) = 0;
};
