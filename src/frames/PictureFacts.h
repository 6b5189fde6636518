// What a decoded picture needs besides its pixels to be shown as its file
// means it: how it is turned (display matrix) and what its colour values mean
// (matrix, range, primaries, transfer, brightness). Plain values, resolved
// from the AVFrame on the demux thread when a frame is filled and read by the
// render modes on the widget's thread through the frame slot.
#pragma once

#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Quarter turns clockwise, after an optional mirroring left to right.
struct PictureTurn {
    int quarterTurns = 0; // 0..3
    bool mirrored = false;

    // From a display matrix (nine 16.16 / 2.30 fixed-point values), rounded to
    // the nearest quarter turn; no turn for null or a degenerate matrix.
    static PictureTurn ofMatrix(const int32_t *displayMatrix);
    // The frame's AV_FRAME_DATA_DISPLAYMATRIX, if it has one.
    static PictureTurn of(const AVFrame *frame);

    // Width and height trade places on the screen.
    bool sidesSwap() const { return quarterTurns % 2 != 0; }
    // Column-major 2x2 matrix taking a point of the screen's rectangle,
    // centred (texture coordinates minus 0.5, y down), to the picture's.
    std::array<float, 4> sampling() const;

    bool operator==(const PictureTurn &o) const { return quarterTurns == o.quarterTurns && mirrored == o.mirrored; }
};

struct PictureColour {
    enum Transfer { Sdr, Pq, Hlg };

    AVColorSpace matrix = AVCOL_SPC_BT709; // resolved: never unspecified
    bool fullRange = false;
    bool wideGamut = false; // BT.2020 primaries, shown in BT.709's
    Transfer transfer = Sdr;
    float peakNits = 0.0f; // brightest light of HDR content (content light or mastering metadata)

    // BT.601 for untagged pictures below 1280 x 720, BT.709 from there on;
    // the range from a yuvj* pixel format or the range tag.
    static PictureColour of(const AVFrame *frame, AVPixelFormat format);

    // Whether the values need more than the YUV-to-RGB conversion: another
    // transfer or other primaries, handled where the picture is drawn.
    bool needsDisplayStage() const { return transfer != Sdr || wideGamut; }

    bool operator==(const PictureColour &o) const
    {
        return matrix == o.matrix && fullRange == o.fullRange && wideGamut == o.wideGamut &&
               transfer == o.transfer && peakNits == o.peakNits;
    }
};
