// A converted frame whose RGBA store lives in host memory and is converted by
// libswscale. Filled on the demux thread; uploaded into the drawer's texture
// on the widget's thread. Owns its pixel store, which is allocated lazily by
// the kernel (calloc), so making frames costs no time until they are filled;
// the builder belongs to the engine; the frame never uses it after its last fill.
#pragma once

#include "frames/AbstractVideoFrame.h"

class IVideoFrameBuilder;

class SwsVideoFrame : public AbstractVideoFrame {
public:
    SwsVideoFrame(IVideoFrameBuilder *builder, int width, int height);
    ~SwsVideoFrame() override;

    void updateTexture(FrameTexture &target) override;
    void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) override;

    // Bytes allocated past the end of the store. libswscale's vectorised
    // converters store whole blocks and run up to 32 bytes past the last row's
    // end (for instance yuv420p to RGBA 1918 or 17000 pixels wide); this slack
    // keeps those writes inside the allocation.
    static constexpr int32_t storeSlack = 64;

private:
    IVideoFrameBuilder *builder;
};
