// How a video's pictures carry the two eyes of a stereoscopic video, as the
// file declares it in the video stream's stereo side data. A plain value:
// read on the loading thread when a file opens, passed to the renderer
// through the frame slot.
#pragma once

#include <array>

struct AVStream;

struct StereoLayout {
    enum Packing {
        Mono,       // the whole picture for both eyes
        TopBottom,  // one eye in the upper half, the other in the lower half
        SideBySide, // one eye in the left half, the other in the right half
    };

    Packing packing = Mono;
    // The right eye's view is in the upper (or left) half.
    bool rightEyeFirst = false;

    // Mono for a null stream, a stream without stereo side data and the
    // packings not understood (frame sequence, line or column interleaving,
    // checkerboard).
    static StereoLayout of(const AVStream *stream);

    // The part of the picture that eye (0 = left, any other = right) sees, as
    // texture coordinates s, t scaled by [0], [1] and then offset by [2], [3];
    // t = 0 is the picture's top row.
    std::array<float, 4> eyeWindow(int eye) const;

    bool operator==(const StereoLayout &other) const
    {
        return packing == other.packing && rightEyeFirst == other.rightEyeFirst;
    }
};
