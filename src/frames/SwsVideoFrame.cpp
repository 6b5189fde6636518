#include "frames/SwsVideoFrame.h"

#include "frames/FrameTexture.h"
#include "frames/IVideoFrameBuilder.h"

#include <cstdlib>

SwsVideoFrame::SwsVideoFrame(IVideoFrameBuilder *builder, int width, int height)
    : AbstractVideoFrame(width, height), builder(builder)
{
    // Zeroed, so a frame that was never converted uploads defined pixels. A
    // large calloc maps zero pages on first touch: nothing is written here. A
    // store that cannot be had leaves data null: such a frame is never
    // converted into and uploads nothing.
    data = static_cast<uint8_t *>(std::calloc(static_cast<size_t>(dataSize > 0 ? dataSize : 0) + storeSlack, 1));
}

SwsVideoFrame::~SwsVideoFrame()
{
    std::free(data);
    data = nullptr;
}

void SwsVideoFrame::updateTexture(FrameTexture &target)
{
    if (data)
        target.upload(data, width, height);
}

void SwsVideoFrame::fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs)
{
    describe(frame, srcFormat);
    beginPicture(timestampMs);
    if (data)
        builder->convert(&data, dataSize, lineSize, srcFormat, static_cast<AVPixelFormat>(pixelFormat), frame);
}
