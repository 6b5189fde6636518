// The software converter (colours on the screen are e2e_fidelity's).
#include "common/GlTestContext.h"
#include "common/LogCapture.h"
#include "frames/FrameTexture.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>
#include <memory>
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
FramePtr solid(int width, int height, AVPixelFormat format, int r, int g, int b)
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
            p[0] = uint8_t(r), p[1] = uint8_t(g), p[2] = uint8_t(b);
    if (format == AV_PIX_FMT_RGB24)
        return rgb;
    SwsContext *sws =
        sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format, SWS_POINT, nullptr, nullptr, nullptr);
    sws_scale(sws, rgb->data, rgb->linesize, 0, height, out->data, out->linesize);
    sws_freeContext(sws);
    out->colorspace = AVCOL_SPC_SMPTE170M; // libswscale's default matrix, as made
    return out;
}

} // namespace

// Every source fills the store, shown exactly; no scaler (logged once) or no picture leaves it.
TEST(SwsFrames, EverySourceIsScaledIntoTheStoreAndUploadedExactly)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)";
    LogCapture log;
    SwsVideoFrameBuilder builder;
    FrameTexture texture;
    uint64_t lastPicture = 0;
    const AVPixelFormat unknown = AV_PIX_FMT_NONE; // given for an RGB24 picture
    const struct {
        int width, height; // 0: an empty picture
        AVPixelFormat format;
        int storeWidth, storeHeight;
        int r, g, b; // -1: the store as made
    } cases[] = {
        {1280, 960, AV_PIX_FMT_RGB24, 320, 240, 10, 200, 30}, {64, 48, AV_PIX_FMT_RGB24, 320, 240, 250, 250, 0},
        {500, 20, AV_PIX_FMT_RGB24, 320, 240, 0, 0, 255},     {33, 17, AV_PIX_FMT_YUV420P, 33, 17, 200, 60, 20},
        {1918, 9, AV_PIX_FMT_NV12, 1918, 9, 40, 90, 200},     {7, 5, AV_PIX_FMT_YUV422P10LE, 3, 1, 120, 220, 60},
        {1, 1, AV_PIX_FMT_GRAY8, 5, 3, 128, 128, 128},        {4, 4, AV_PIX_FMT_BGRA, 321, 241, 30, 60, 90},
        {64, 32, unknown, 64, 32, -1, -1, -1},                {64, 32, unknown, 64, 32, -1, -1, -1},
        {0, 0, AV_PIX_FMT_YUV420P, 64, 32, -1, -1, -1},       {64, 32, AV_PIX_FMT_RGB24, 64, 32, 200, 10, 10},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(c.format) << " " << c.width << "x" << c.height
                                        << " into " << c.storeWidth << "x" << c.storeHeight);
        const AVPixelFormat made = c.format == unknown ? AV_PIX_FMT_RGB24 : c.format;
        FramePtr picture = c.width ? solid(c.width, c.height, made, c.r, c.g, c.b) : FramePtr(av_frame_alloc());
        ASSERT_TRUE(picture);
        picture->sample_aspect_ratio = AVRational{3, 2};
        SwsVideoFrame frame(&builder, c.storeWidth, c.storeHeight);
        frame.fill(picture.get(), c.format, 100);
        if (c.r >= 0) {
            EXPECT_DOUBLE_EQ(frame.displayAspect(), 1.5 * c.width / c.height) << "the picture's own shape";
        }
        // libswscale's vector code writes whole blocks past the last pixel.
        EXPECT_GE(malloc_usable_size(const_cast<uint8_t *>(frame.getData())),
                  size_t(frame.getDataSize()) + SwsVideoFrame::storeSlack);
        EXPECT_GT(frame.pictureId(), lastPicture);
        lastPicture = frame.pictureId();
        const std::vector<uint8_t> store(frame.getData(), frame.getData() + frame.getDataSize());
        const int tolerance = c.format == AV_PIX_FMT_RGB24 ? 1 : 4, rgba[] = {c.r, c.g, c.b, 255};
        for (size_t i = 0; i < store.size(); ++i)
            if (c.r < 0 ? store[i] != 0 : std::abs(store[i] - rgba[i % 4]) > (i % 4 == 3 ? 0 : tolerance)) {
                ADD_FAILURE() << "byte " << i << " is " << int(store[i]);
                break;
            }
        frame.updateTexture(texture);
        EXPECT_EQ(readTextureRgba(texture.id(), c.storeWidth, c.storeHeight), store);
    }
    EXPECT_EQ(log.count("Failed to create sws!"), 1);

    // A corrupt stream's colour fields may hold codes no enumerator has (an MPEG-2 matrix of 128).
    FramePtr corrupt = solid(16, 16, AV_PIX_FMT_YUV420P, 90, 90, 90);
    for (void *field : {static_cast<void *>(&corrupt->colorspace), static_cast<void *>(&corrupt->color_trc)})
        std::memset(field, 0x80, 1);
    SwsVideoFrame(&builder, 16, 16).fill(corrupt.get(), AV_PIX_FMT_YUV420P, 0);
}
