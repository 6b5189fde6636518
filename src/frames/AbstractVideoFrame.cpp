#include "frames/AbstractVideoFrame.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/rational.h>
}

namespace {
// Process-wide, so a picture id never repeats across frames or files.
std::atomic<uint64_t> lastPictureId{0};
} // namespace

AbstractVideoFrame::AbstractVideoFrame(int width, int height)
    : width(width), height(height), pixelFormat(AV_PIX_FMT_RGBA), timestamp(0), data(nullptr), dataSize(0),
      lineSize(0)
{
    // av_image_get_buffer_size answers a negative error for a size it cannot
    // take; such a frame gets an empty store instead of a negative one.
    int size = av_image_get_buffer_size(AV_PIX_FMT_RGBA, width, height, 1);
    if (size > 0 && height > 0) {
        dataSize = size;
        lineSize = size / height;
    }
}

AbstractVideoFrame::~AbstractVideoFrame() = default;

double AbstractVideoFrame::displayAspect() const
{
    const bool known = pictureWidth > 0 && pictureHeight > 0;
    const double w = known ? pictureWidth : width, h = known ? pictureHeight : height;
    if (w <= 0 || h <= 0)
        return 1.0;
    const double sample = sampleAspect.num > 0 && sampleAspect.den > 0 ? av_q2d(sampleAspect) : 1.0;
    return sample * w / h;
}

void AbstractVideoFrame::beginPicture(int64_t timestampMs)
{
    timestamp = timestampMs;
    picture = lastPictureId.fetch_add(1, std::memory_order_relaxed) + 1;
}

void AbstractVideoFrame::describe(const AVFrame *frame, AVPixelFormat srcFormat)
{
    sampleAspect = frame ? frame->sample_aspect_ratio : AVRational{0, 1};
    pictureWidth = frame ? frame->width : 0;
    pictureHeight = frame ? frame->height : 0;
    pictureTurn = PictureTurn::of(frame);
    pictureColour = PictureColour::of(frame, srcFormat);
}
