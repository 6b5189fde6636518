// The software converter against real pictures: a decoded still converted to
// RGBA matches the ffmpeg tool's conversion, the texture receives exactly the
// store, a failed scaler leaves pixels alone, and sources that change size or
// format mid-stream are scaled into the fixed store.
#include "common/GlTestContext.h"
#include "common/TestMedia.h"
#include "frames/FrameTexture.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "support/Logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// The first picture of a file, decoded in software, with the decoder's format.
struct Decoded {
    FramePtr frame;
    AVPixelFormat format = AV_PIX_FMT_NONE;
};

Decoded decodeFirstPicture(const std::string &path)
{
    Decoded out;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return out;
    AVCodecContext *ctx = nullptr;
    AVPacket *packet = av_packet_alloc();
    FramePtr frame(av_frame_alloc());
    int stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (avformat_find_stream_info(fmt, nullptr) >= 0 && stream >= 0) {
        const AVCodec *codec = avcodec_find_decoder(fmt->streams[stream]->codecpar->codec_id);
        ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, fmt->streams[stream]->codecpar);
        if (avcodec_open2(ctx, codec, nullptr) >= 0) {
            bool got = false;
            while (!got && av_read_frame(fmt, packet) >= 0) {
                if (packet->stream_index == stream && avcodec_send_packet(ctx, packet) >= 0)
                    got = avcodec_receive_frame(ctx, frame.get()) >= 0;
                av_packet_unref(packet);
            }
            if (!got) {
                avcodec_send_packet(ctx, nullptr);
                got = avcodec_receive_frame(ctx, frame.get()) >= 0;
            }
            if (got) {
                out.frame = std::move(frame);
                out.format = ctx->pix_fmt;
            }
        }
    }
    avcodec_free_context(&ctx);
    av_packet_free(&packet);
    avformat_close_input(&fmt);
    return out;
}

FramePtr solidRgb24(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        uint8_t *row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < width; ++x) {
            row[3 * x] = r;
            row[3 * x + 1] = g;
            row[3 * x + 2] = b;
        }
    }
    return frame;
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> storeOf(const AbstractVideoFrame &frame)
{
    return std::vector<uint8_t>(frame.getData(), frame.getData() + frame.getDataSize());
}

// Largest per-channel difference, or -1 when the sizes differ.
int maxDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// True when every pixel of the store is the given colour within tolerance.
::testing::AssertionResult isSolid(const AbstractVideoFrame &frame, uint8_t r, uint8_t g, uint8_t b,
                                   int tolerance)
{
    const uint8_t *p = frame.getData();
    for (int i = 0; i < frame.getDataSize(); i += 4) {
        if (std::abs(p[i] - r) > tolerance || std::abs(p[i + 1] - g) > tolerance ||
            std::abs(p[i + 2] - b) > tolerance || p[i + 3] != 255)
            return ::testing::AssertionFailure()
                   << "pixel " << i / 4 << " is " << int(p[i]) << "," << int(p[i + 1]) << "," << int(p[i + 2])
                   << "," << int(p[i + 3]);
    }
    return ::testing::AssertionSuccess();
}

// Installs a process-wide diagnostic logger writing into a temporary file.
class CapturedLog {
public:
    CapturedLog()
    {
        record.file = std::tmpfile();
        record.level = 1;
        record.truncate = false;
        record.unused = 0;
        record.encoding = 0;
        logger.record = &record;
        setDiagnosticLogger(&logger);
    }
    ~CapturedLog()
    {
        setDiagnosticLogger(nullptr);
        std::fclose(record.file);
    }
    std::string text()
    {
        std::rewind(record.file);
        std::string all(4096, '\0');
        all.resize(std::fread(&all[0], 1, all.size(), record.file));
        return all;
    }

private:
    LogFileRecord record;
    Logger logger;
};

size_t countOf(const std::string &text, const std::string &what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class SwsFrames : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl.isValid()) << "no GL context (run under tools/test-env.sh)"; }

    GlTestContext gl;
    SwsVideoFrameBuilder builder;
};

TEST_F(SwsFrames, StoreAndTextureHaveTheVideoSize)
{
    SwsVideoFrame frame(&builder, 1920, 1080);
    EXPECT_EQ(frame.getDataSize(), 8294400);
    EXPECT_EQ(frame.getLineSize(), 7680);
    EXPECT_EQ(frame.getTimestamp(), 0);
    EXPECT_EQ(frame.pictureId(), 0u);
    FrameTexture texture;
    EXPECT_EQ(texture.id(), 0u) << "no GL storage before the first upload";
    frame.updateTexture(texture);
    ASSERT_NE(texture.id(), 0u);
    glBindTexture(GL_TEXTURE_2D, texture.id());
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
}

TEST_F(SwsFrames, DecodedStillMatchesReferenceConversionAndIsUploaded)
{
    Decoded still = decodeFirstPicture(mediaPath("pattern.mkv"));
    ASSERT_TRUE(still.frame) << "pattern.mkv did not decode";
    std::vector<uint8_t> reference = readFile(mediaPath("pattern_rgba.raw"));
    ASSERT_EQ(reference.size(), 320u * 240u * 4u);

    SwsVideoFrame frame(&builder, 320, 240);
    frame.fill(still.frame.get(), still.format, 1234);
    EXPECT_EQ(frame.getTimestamp(), 1234);
    int difference = maxDifference(storeOf(frame), reference);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 3);

    FrameTexture texture;
    frame.updateTexture(texture);
    EXPECT_EQ(readTextureRgba(texture.id(), 320, 240), storeOf(frame));

    // One builder serves every frame of the pool; each fill is a new picture.
    SwsVideoFrame second(&builder, 320, 240);
    second.fill(still.frame.get(), still.format, 1274);
    EXPECT_EQ(storeOf(second), storeOf(frame));
    EXPECT_NE(second.pictureId(), frame.pictureId());
    const uint64_t before = frame.pictureId();
    frame.fill(still.frame.get(), still.format, 1314);
    EXPECT_NE(frame.pictureId(), before);
}

TEST_F(SwsFrames, FailedScalerKeepsPixelsUpdatesTimestampAndIsNotRetried)
{
    CapturedLog log;
    FramePtr picture = solidRgb24(64, 32, 200, 10, 10);
    ASSERT_TRUE(picture);
    SwsVideoFrame frame(&builder, 64, 32);
    std::vector<uint8_t> before = storeOf(frame);

    frame.fill(picture.get(), AV_PIX_FMT_NONE, 40);
    EXPECT_EQ(frame.getTimestamp(), 40);
    frame.fill(picture.get(), AV_PIX_FMT_NONE, 80);
    EXPECT_EQ(frame.getTimestamp(), 80);
    EXPECT_EQ(storeOf(frame), before);

    std::string text = log.text();
    std::string message = "Failed to create sws! Src: " + std::to_string(AV_PIX_FMT_NONE) +
                          ", Dst: " + std::to_string(AV_PIX_FMT_RGBA);
    EXPECT_EQ(countOf(text, message), 1u) << text;
    EXPECT_NE(text.find(" E: " + message + "\n"), std::string::npos) << text;
}

TEST_F(SwsFrames, SourceChangingSizeOrFormatIsScaledIntoTheFixedStore)
{
    Decoded still = decodeFirstPicture(mediaPath("pattern.mkv"));
    ASSERT_TRUE(still.frame);
    std::vector<uint8_t> reference = readFile(mediaPath("pattern_rgba.raw"));
    SwsVideoFrame frame(&builder, 320, 240);

    frame.fill(still.frame.get(), still.format, 0);
    ASSERT_LE(maxDifference(storeOf(frame), reference), 3);

    // Larger, smaller, and of another shape and format: each fills the whole
    // store (under AddressSanitizer this also proves nothing lands outside it).
    struct Case {
        int width, height;
        uint8_t r, g, b;
    };
    for (Case c : {Case{1280, 960, 10, 200, 30}, Case{64, 48, 250, 250, 0}, Case{500, 20, 0, 0, 255}}) {
        FramePtr picture = solidRgb24(c.width, c.height, c.r, c.g, c.b);
        ASSERT_TRUE(picture);
        frame.fill(picture.get(), AV_PIX_FMT_RGB24, 100);
        EXPECT_TRUE(isSolid(frame, c.r, c.g, c.b, 1)) << c.width << "x" << c.height;
    }

    // Back to the original source: converted as at first.
    frame.fill(still.frame.get(), still.format, 200);
    EXPECT_LE(maxDifference(storeOf(frame), reference), 3);
}

TEST_F(SwsFrames, EmptyPictureLeavesTheStoreAlone)
{
    SwsVideoFrame frame(&builder, 16, 16);
    FramePtr empty(av_frame_alloc());
    frame.fill(empty.get(), AV_PIX_FMT_YUV420P, 5);
    EXPECT_EQ(frame.getTimestamp(), 5);
    EXPECT_EQ(storeOf(frame), std::vector<uint8_t>(16 * 16 * 4, 0));

    // The builder was not spent on it: a real picture still converts.
    FramePtr picture = solidRgb24(16, 16, 1, 2, 3);
    frame.fill(picture.get(), AV_PIX_FMT_RGB24, 6);
    EXPECT_TRUE(isSolid(frame, 1, 2, 3, 0));
}

} // namespace

namespace {

// libswscale's vectorised converters write whole blocks past the last row's
// end for some widths (above 16384, and odd ones like 1918): everything they
// write must stay within the slack the frame allocates after its store.
TEST(SwsConverter, BlockWritesStayWithinTheStoreSlack)
{
    for (int width : {1918, 17000}) {
        SCOPED_TRACE(width);
        const int height = 16;
        FramePtr picture(av_frame_alloc());
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = width;
        picture->height = height;
        ASSERT_EQ(av_frame_get_buffer(picture.get(), 0), 0);
        for (int plane = 0; plane < 3; ++plane)
            std::fill_n(picture->data[plane], picture->linesize[plane] * (plane ? height / 2 : height), 128);

        const int32_t size = width * height * 4;
        std::vector<uint8_t> store(size_t(size) + 4096, 0xAB);
        uint8_t *dst = store.data();
        SwsVideoFrameBuilder builder;
        builder.convert(&dst, size, width * 4, AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGBA, picture.get());
        EXPECT_EQ(store[size - 1], 255) << "the last pixel's alpha";
        const auto past = std::find_if(store.rbegin(), store.rend() - size, [](uint8_t v) { return v != 0xAB; });
        const long written = long(store.rend() - past) - size; // bytes written past the store
        EXPECT_LE(written, SwsVideoFrame::storeSlack);
    }
}

} // namespace
