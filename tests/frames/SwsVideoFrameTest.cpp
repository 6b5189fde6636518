// The software converter: pictures of any size and format are scaled into the
// fixed store and reach the texture exactly; a failed scaler or an empty
// picture leaves the pixels alone. The colours of each matrix and range on the
// screen are e2e_fidelity's.
#include "common/GlTestContext.h"
#include "common/LogCapture.h"
#include "frames/FrameTexture.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A picture of one colour in the given format (converted from RGB24 by libswscale).
FramePtr solid(int width, int height, AVPixelFormat format, uint8_t r, uint8_t g, uint8_t b)
{
    FramePtr rgb(av_frame_alloc()), out(av_frame_alloc());
    rgb->format = AV_PIX_FMT_RGB24, out->format = format;
    rgb->width = out->width = width;
    rgb->height = out->height = height;
    if (av_frame_get_buffer(rgb.get(), 0) < 0 || av_frame_get_buffer(out.get(), 0) < 0)
        return nullptr;
    // The padding too: libswscale reads past the last pixel of a row.
    for (int y = 0; y < height; ++y)
        for (uint8_t *p = rgb->data[0] + y * rgb->linesize[0], *end = p + rgb->linesize[0] - 2; p < end; p += 3)
            p[0] = r, p[1] = g, p[2] = b;
    if (format == AV_PIX_FMT_RGB24)
        return rgb;
    SwsContext *sws =
        sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format, SWS_POINT, nullptr, nullptr, nullptr);
    sws_scale(sws, rgb->data, rgb->linesize, 0, height, out->data, out->linesize);
    sws_freeContext(sws);
    out->colorspace = AVCOL_SPC_SMPTE170M; // libswscale's default matrix, as made
    return out;
}

std::vector<uint8_t> storeOf(const AbstractVideoFrame &frame)
{
    return std::vector<uint8_t>(frame.getData(), frame.getData() + frame.getDataSize());
}

// True when every pixel of the store is the given opaque colour within tolerance.
::testing::AssertionResult isSolid(const AbstractVideoFrame &frame, uint8_t r, uint8_t g, uint8_t b, int tolerance)
{
    const uint8_t *p = frame.getData();
    for (int i = 0; i < frame.getDataSize(); i += 4)
        if (std::abs(p[i] - r) > tolerance || std::abs(p[i + 1] - g) > tolerance ||
            std::abs(p[i + 2] - b) > tolerance || p[i + 3] != 255)
            return ::testing::AssertionFailure() << "pixel " << i / 4 << " is " << int(p[i]) << "," << int(p[i + 1])
                                                 << "," << int(p[i + 2]) << "," << int(p[i + 3]);
    return ::testing::AssertionSuccess();
}

class SwsFrames : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)"; }

    GlTestContext gl;
    SwsVideoFrameBuilder builder; // one for every frame, as the engine has
};

// Larger, smaller, of another shape, of odd sizes and other formats: each
// fills the whole store (under AddressSanitizer this also proves nothing lands
// outside it), which one texture then shows exactly, whatever its size. The
// builder keeps up with every change of source.
TEST_F(SwsFrames, EverySourceIsScaledIntoTheStoreAndUploadedExactly)
{
    FrameTexture texture;
    uint64_t lastPicture = 0;
    struct Case {
        int width, height;
        AVPixelFormat format;
        int storeWidth, storeHeight;
        uint8_t r, g, b;
    };
    const Case cases[] = {
        {1280, 960, AV_PIX_FMT_RGB24, 320, 240, 10, 200, 30}, {64, 48, AV_PIX_FMT_RGB24, 320, 240, 250, 250, 0},
        {500, 20, AV_PIX_FMT_RGB24, 320, 240, 0, 0, 255},     {33, 17, AV_PIX_FMT_YUV420P, 33, 17, 200, 60, 20},
        {1918, 9, AV_PIX_FMT_NV12, 1918, 9, 40, 90, 200},     {7, 5, AV_PIX_FMT_YUV422P10LE, 3, 1, 120, 220, 60},
        {1, 1, AV_PIX_FMT_GRAY8, 5, 3, 128, 128, 128},        {4, 4, AV_PIX_FMT_BGRA, 321, 241, 30, 60, 90},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(c.format) << " " << c.width << "x" << c.height
                                        << " into " << c.storeWidth << "x" << c.storeHeight);
        FramePtr picture = solid(c.width, c.height, c.format, c.r, c.g, c.b);
        ASSERT_TRUE(picture);
        SwsVideoFrame frame(&builder, c.storeWidth, c.storeHeight);
        frame.fill(picture.get(), c.format, 100);
        EXPECT_EQ(frame.getTimestamp(), 100);
        EXPECT_GT(frame.pictureId(), lastPicture) << "a fill is a new picture, in any frame";
        lastPicture = frame.pictureId();
        EXPECT_TRUE(isSolid(frame, c.r, c.g, c.b, c.format == AV_PIX_FMT_RGB24 ? 1 : 4));
        frame.updateTexture(texture);
        EXPECT_EQ(readTextureRgba(texture.id(), c.storeWidth, c.storeHeight), storeOf(frame));
    }
}

// The failure is logged once, not at every picture.
TEST_F(SwsFrames, FailedScalerOrEmptyPictureLeavesThePixelsAlone)
{
    LogCapture log;
    FramePtr picture = solid(64, 32, AV_PIX_FMT_RGB24, 200, 10, 10), empty(av_frame_alloc());
    SwsVideoFrame frame(&builder, 64, 32);
    const std::pair<AVFrame *, AVPixelFormat> fills[] = {
        {picture.get(), AV_PIX_FMT_NONE}, {picture.get(), AV_PIX_FMT_NONE}, {empty.get(), AV_PIX_FMT_YUV420P}};
    for (int64_t time = 0; time < 3; ++time) {
        frame.fill(fills[time].first, fills[time].second, time);
        EXPECT_EQ(frame.getTimestamp(), time);
        EXPECT_EQ(storeOf(frame), std::vector<uint8_t>(64 * 32 * 4, 0));
    }
    frame.fill(picture.get(), AV_PIX_FMT_RGB24, 3);
    EXPECT_TRUE(isSolid(frame, 200, 10, 10, 0)) << "the builder was spent";
    EXPECT_EQ(log.count("Failed to create sws!"), 1);
}

} // namespace
