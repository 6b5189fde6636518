#include "frames/PictureFacts.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/mastering_display_metadata.h>
}

#include <cmath>
#include <cstring>

PictureTurn PictureTurn::ofMatrix(const int32_t *m)
{
    PictureTurn turn;
    if (!m)
        return turn;
    // A negative determinant mirrors; the rest of the matrix is then read as
    // the turn of the mirrored picture, as FFmpeg's own auto-rotation does.
    int32_t unmirrored[9];
    for (int i = 0; i < 9; ++i)
        unmirrored[i] = m[i];
    const double determinant = double(m[0]) * m[4] - double(m[1]) * m[3];
    if (determinant < 0) {
        turn.mirrored = true;
        av_display_matrix_flip(unmirrored, 1, 0);
    }
    const double counterClockwise = av_display_rotation_get(unmirrored);
    if (std::isnan(counterClockwise))
        return PictureTurn{};
    const long quarters = std::lround(-counterClockwise / 90.0);
    turn.quarterTurns = static_cast<int>(((quarters % 4) + 4) % 4);
    return turn;
}

PictureTurn PictureTurn::of(const AVFrame *frame)
{
    const AVFrameSideData *side = frame ? av_frame_get_side_data(frame, AV_FRAME_DATA_DISPLAYMATRIX) : nullptr;
    if (!side || side->size < 9 * sizeof(int32_t))
        return PictureTurn{};
    return ofMatrix(reinterpret_cast<const int32_t *>(side->data));
}

std::array<float, 4> PictureTurn::sampling() const
{
    // One clockwise turn shows the picture's left column as the screen's top
    // row: screen (x, y) samples the picture at (y, -x).
    float a = 1.0f, b = 0.0f, c = 0.0f, d = 1.0f; // rows (a b; c d)
    for (int i = 0; i < quarterTurns; ++i) {
        const float na = c, nb = d, nc = -a, nd = -b; // (0 1; -1 0) times the matrix so far
        a = na; b = nb; c = nc; d = nd;
    }
    if (mirrored) {
        a = -a;
        b = -b;
    }
    return {a, c, b, d};
}

namespace {

bool isFullRangeFormat(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

float peakOf(const AVFrame *frame)
{
    if (const AVFrameSideData *side = av_frame_get_side_data(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL)) {
        const auto *light = reinterpret_cast<const AVContentLightMetadata *>(side->data);
        if (light->MaxCLL > 0)
            return static_cast<float>(light->MaxCLL);
    }
    if (const AVFrameSideData *side = av_frame_get_side_data(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA)) {
        const auto *mastering = reinterpret_cast<const AVMasteringDisplayMetadata *>(side->data);
        if (mastering->has_luminance && mastering->max_luminance.num > 0)
            return static_cast<float>(av_q2d(mastering->max_luminance));
    }
    return 1000.0f; // what HDR10 masters and the HLG reference display commonly reach
}

// An enum field as the number stored in it: a corrupt stream can leave a
// value no enumerator has (an MPEG-2 matrix code of 128), and loading that as
// the enum itself is undefined.
template <typename Enum>
int storedValue(const Enum &field)
{
    static_assert(sizeof(Enum) == sizeof(int), "an enum stored as an int");
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

} // namespace

PictureColour PictureColour::of(const AVFrame *frame, AVPixelFormat format)
{
    PictureColour colour;
    if (!frame)
        return colour;
    const int primaries = storedValue(frame->color_primaries), transfer = storedValue(frame->color_trc);
    switch (const int space = storedValue(frame->colorspace)) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_SMPTE170M:
        colour.matrix = static_cast<AVColorSpace>(space);
        break;
    case AVCOL_SPC_BT470BG:
        colour.matrix = AVCOL_SPC_SMPTE170M; // the same coefficients
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: // shown with the non-constant-luminance matrix
        colour.matrix = AVCOL_SPC_BT2020_NCL;
        break;
    default:
        if (primaries == AVCOL_PRI_BT2020)
            colour.matrix = AVCOL_SPC_BT2020_NCL;
        else
            colour.matrix = frame->width >= 1280 || frame->height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        break;
    }
    colour.fullRange = isFullRangeFormat(format) || isFullRangeFormat(static_cast<AVPixelFormat>(frame->format)) ||
                       storedValue(frame->color_range) == AVCOL_RANGE_JPEG;
    colour.wideGamut = primaries == AVCOL_PRI_BT2020;
    if (transfer == AVCOL_TRC_SMPTE2084)
        colour.transfer = Pq;
    else if (transfer == AVCOL_TRC_ARIB_STD_B67)
        colour.transfer = Hlg;
    if (colour.transfer != Sdr)
        colour.peakNits = peakOf(frame);
    return colour;
}
