// Software converter: libswscale turns a decoded picture into a frame's RGBA
// store. Used by the one demux thread of a loaded file; owns its scaler and the
// picture that holds the destination line sizes.
#pragma once

#include "frames/IVideoFrameBuilder.h"
#include "frames/PictureFacts.h"

struct SwsContext;

class SwsVideoFrameBuilder : public IVideoFrameBuilder {
public:
    SwsVideoFrameBuilder();
    SwsVideoFrameBuilder(const SwsVideoFrameBuilder &) = delete;
    SwsVideoFrameBuilder &operator=(const SwsVideoFrameBuilder &) = delete;
    ~SwsVideoFrameBuilder() override;

    // dstSize and dstLineSize give the store's geometry: the picture is scaled
    // to it, and nothing is written beyond dstSize bytes.
    void convert(uint8_t **dst, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                 AVPixelFormat dstFormat, const AVFrame *frame) override;

private:
    // What the current scaler (or the failed attempt to make one) was made for.
    struct Geometry {
        int srcWidth, srcHeight;
        AVPixelFormat srcFormat;
        int dstWidth, dstHeight;
        AVPixelFormat dstFormat;
        bool operator==(const Geometry &o) const;
    };

    void createContext(const Geometry &geometry);
    // Gives the scaler the picture's YUV matrix and range (RGB output is full range).
    void applyColour(const PictureColour &colour);

    bool initialised;
    SwsContext *context;
    AVFrame *picture;
    Geometry made;
    PictureColour applied; // what the current scaler converts with
};
