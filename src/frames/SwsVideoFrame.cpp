#include "frames/SwsVideoFrame.h"

#include "frames/IVideoFrameBuilder.h"

SwsVideoFrame::SwsVideoFrame(IVideoFrameBuilder *builder, int width, int height)
    : AbstractVideoFrame(width, height), builder(builder)
{
    // Zeroed, so a frame that was never converted uploads defined pixels.
    data = new uint8_t[dataSize]();
}

SwsVideoFrame::~SwsVideoFrame()
{
    delete[] data;
    data = nullptr;
}

void SwsVideoFrame::updateTexture()
{
    // No "changed" flag: the store is uploaded at every paint.
    texture.update(data, width, height);
}

void SwsVideoFrame::fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs)
{
    timestamp = timestampMs;
    builder->convert(&data, dataSize, lineSize, srcFormat, static_cast<AVPixelFormat>(pixelFormat), frame);
}
