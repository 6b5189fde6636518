#include "player/StereoLayout.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/stereo3d.h>
}

StereoLayout StereoLayout::of(const AVStream *stream)
{
    StereoLayout layout;
    if (!stream)
        return layout;
    size_t size = 0;
    const uint8_t *data = av_stream_get_side_data(stream, AV_PKT_DATA_STEREO3D, &size);
    if (!data || size < sizeof(AVStereo3D))
        return layout;
    const AVStereo3D *stereo = reinterpret_cast<const AVStereo3D *>(data);
    switch (stereo->type) {
    case AV_STEREO3D_TOPBOTTOM:
        layout.packing = TopBottom;
        break;
    case AV_STEREO3D_SIDEBYSIDE:
        layout.packing = SideBySide;
        break;
    default:
        return layout;
    }
    layout.rightEyeFirst = (stereo->flags & AV_STEREO3D_FLAG_INVERT) != 0;
    return layout;
}

std::array<float, 4> StereoLayout::eyeWindow(int eye) const
{
    const bool rightEye = eye != 0;
    const float offset = rightEye != rightEyeFirst ? 0.5f : 0.0f;
    switch (packing) {
    case TopBottom:
        return {1.0f, 0.5f, 0.0f, offset};
    case SideBySide:
        return {0.5f, 1.0f, offset, 0.0f};
    case Mono:
        break;
    }
    return {1.0f, 1.0f, 0.0f, 0.0f};
}
