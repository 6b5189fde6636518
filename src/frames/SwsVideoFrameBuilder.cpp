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
    // Sources deeper than 8 bits (HDR among them) lose about 2 codes on
    // libswscale's fast 4:2:0 path; full chroma interpolation keeps them, at
    // about 4 ms more per 1080p picture.
    const AVPixFmtDescriptor *source = av_pix_fmt_desc_get(g.srcFormat);
    const int flags = SWS_BILINEAR | (source && source->comp[0].depth > 8 ? SWS_FULL_CHR_H_INT : 0);
    if (sws_isSupportedInput(g.srcFormat) > 0 && sws_isSupportedOutput(g.dstFormat) > 0)
        context = sws_getContext(g.srcWidth, g.srcHeight, g.srcFormat, g.dstWidth, g.dstHeight, g.dstFormat, flags,
                                 nullptr, nullptr, nullptr);
    if (!context)
        logE(diagnosticLogger(), "Failed to create sws! Src: %d, Dst: %d", g.srcFormat, g.dstFormat);
    made = g;
    initialised = true;
    applied = PictureColour{};
    applied.matrix = AVCOL_SPC_UNSPECIFIED; // the first applyColour always sets it
}

namespace {

int swsColourspace(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_ITU601;
    }
}

} // namespace

void SwsVideoFrameBuilder::applyColour(const PictureColour &colour)
{
    if (colour.matrix == applied.matrix && colour.fullRange == applied.fullRange)
        return;
    applied = colour;
    // Only YUV sources have a matrix and a range to set; libswscale refuses
    // (and needs nothing) for the others.
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(made.srcFormat);
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_RGB) || desc->nb_components < 3)
        return;
    const int *coefficients = sws_getCoefficients(swsColourspace(colour.matrix));
    sws_setColorspaceDetails(context, coefficients, colour.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT),
                             1, 0, 1 << 16, 1 << 16);
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
    applyColour(PictureColour::of(frame, srcFormat));

    // sws_scale reads four plane pointers and strides; the store has one.
    uint8_t *planes[4] = {*dst, nullptr, nullptr, nullptr};
    const int strides[4] = {picture->linesize[0], 0, 0, 0};
    sws_scale(context, frame->data, frame->linesize, 0, frame->height, planes, strides);
}
