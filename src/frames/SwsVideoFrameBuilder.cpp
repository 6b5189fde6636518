#include "frames/SwsVideoFrameBuilder.h"

#include "support/Logger.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

bool SwsVideoFrameBuilder::Geometry::operator==(const Geometry &o) const
{
    return srcWidth == o.srcWidth && srcHeight == o.srcHeight && srcFormat == o.srcFormat &&
           dstWidth == o.dstWidth && dstHeight == o.dstHeight && dstFormat == o.dstFormat;
}

SwsVideoFrameBuilder::SwsVideoFrameBuilder()
    : initialised(false), context(nullptr), picture(av_frame_alloc()), made{}
{
}

SwsVideoFrameBuilder::~SwsVideoFrameBuilder()
{
    sws_freeContext(context);
    av_frame_free(&picture);
}

void SwsVideoFrameBuilder::createContext(const Geometry &g)
{
    sws_freeContext(context);
    av_image_fill_linesizes(picture->linesize, g.dstFormat, g.dstWidth);
    context = nullptr;
    // libswscale asserts (aborts) on a format it has no descriptor for, such as
    // AV_PIX_FMT_NONE, instead of failing; such formats count as a failed creation.
    if (sws_isSupportedInput(g.srcFormat) > 0 && sws_isSupportedOutput(g.dstFormat) > 0)
        context = sws_getContext(g.srcWidth, g.srcHeight, g.srcFormat, g.dstWidth, g.dstHeight, g.dstFormat,
                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context)
        logE(diagnosticLogger(), "Failed to create sws! Src: %d, Dst: %d", g.srcFormat, g.dstFormat);
    made = g;
    initialised = true;
}

void SwsVideoFrameBuilder::convert(uint8_t **dst, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                                   AVPixelFormat dstFormat, const AVFrame *frame)
{
    if (!frame || frame->width <= 0 || frame->height <= 0 || !frame->data[0] || !dst || !*dst)
        return;

    // The store is one plane of a packed format; its width and height follow
    // from its row and total sizes. The picture is scaled to exactly that, so
    // a source of another size can never make the scaler write past dstSize.
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(dstFormat);
    if (!desc || av_pix_fmt_count_planes(dstFormat) != 1 || dstLineSize <= 0 || dstSize < dstLineSize)
        return;
    int bitsPerPixel = av_get_bits_per_pixel(desc);
    if (bitsPerPixel <= 0 || bitsPerPixel % 8 != 0)
        return;
    const Geometry wanted{frame->width,           frame->height,         srcFormat,
                          dstLineSize / (bitsPerPixel / 8), dstSize / dstLineSize, dstFormat};

    // A scaler, or the failure to make one, holds for one source geometry: the
    // same geometry is never tried twice, a changed one gets a scaler of its own.
    if (!initialised || !(wanted == made))
        createContext(wanted);
    if (!context)
        return;

    // sws_scale reads four plane pointers and strides; the store has one.
    uint8_t *planes[4] = {*dst, nullptr, nullptr, nullptr};
    const int strides[4] = {picture->linesize[0], 0, 0, 0};
    sws_scale(context, frame->data, frame->linesize, 0, frame->height, planes, strides);
}
