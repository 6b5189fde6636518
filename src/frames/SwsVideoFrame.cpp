#include "frames/SwsVideoFrame.h"

#include "frames/IVideoFrameBuilder.h"

#include <new>

SwsVideoFrame::SwsVideoFrame(IVideoFrameBuilder *builder, int width, int height)
    : AbstractVideoFrame(width, height), builder(builder)
{
    // Zeroed, so a frame that was never converted uploads defined pixels. A
    // store that cannot be had leaves data null: such a frame is never
    // converted into and uploads nothing.
    data = new (std::nothrow) uint8_t[static_cast<size_t>(dataSize) + storeSlack]();
}

SwsVideoFrame::~SwsVideoFrame()
{
    delete[] data;
    data = nullptr;
}

void SwsVideoFrame::updateTexture()
{
    // No "changed" flag: the store is uploaded at every paint.
    if (data)
        texture.update(data, width, height);
}

void SwsVideoFrame::fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs)
{
    timestamp = timestampMs;
    sampleAspect = frame ? frame->sample_aspect_ratio : AVRational{0, 1};
    builder->convert(&data, dataSize, lineSize, srcFormat, static_cast<AVPixelFormat>(pixelFormat), frame);
}
