// The kernels' per-thread code run on the CPU over the whole launch grid:
// coverage of the picture, the NV12 arithmetic against a double-precision
// reference, and the relations between the members of the family.
#include "CpuKernelRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;

// 8-bit NV12 with random samples; the buffer is exactly the planes' size, so
// a sanitizer build catches reads outside them.
struct Nv12 {
    int width, height, pitch;
    std::vector<uint8_t> bytes;

    Nv12(int w, int h, int extraPitch, unsigned seed)
        : width(w), height(h), pitch(((w + 1) & ~1) + extraPitch),
          bytes(size_t(pitch) * (h + (h + 1) / 2))
    {
        std::mt19937 random(seed);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
    }
    uint8_t y(int x, int row) const { return bytes[size_t(row) * pitch + x]; }
    uint8_t u(int x, int row) const { return bytes[size_t(pitch) * (height + row / 2) + (x & ~1)]; }
    uint8_t v(int x, int row) const { return bytes[size_t(pitch) * (height + row / 2) + (x & ~1) + 1]; }
};

// The intended result in double precision: limited range (luma 219 codes,
// chroma 224) to full range, truncated.
std::array<int, 3> referenceRgb(const std::array<float, 9> &m, int y, int u, int v)
{
    const double chroma = 219.0 / 224.0;
    std::array<int, 3> out;
    for (int c = 0; c < 3; ++c) {
        const double value = m[c * 3] * (y - 16.0) + m[c * 3 + 1] * (u - 128.0) * chroma +
                             m[c * 3 + 2] * (v - 128.0) * chroma;
        out[c] = int(std::floor(std::min(255.0, std::max(0.0, value))));
    }
    return out;
}

// Destination with a guard band: 8 bytes left, 24 right, one row above and below.
struct GuardedRgba {
    int width, height, pitch;
    std::vector<uint8_t> bytes;

    GuardedRgba(int w, int h) : width(w), height(h), pitch(w * 4 + 32), bytes(size_t(pitch) * (h + 2), kGuard) {}
    uint8_t *picture() { return bytes.data() + pitch + 8; }
    bool inside(size_t offset) const
    {
        const int row = int(offset / pitch) - 1, column = int(offset % pitch) - 8;
        return row >= 0 && row < height && column >= 0 && column < width * 4;
    }
    const uint8_t *pixel(int x, int row) const { return bytes.data() + size_t(row + 1) * pitch + 8 + 4 * x; }
};

} // namespace

TEST(ColourKernel, Nv12LaunchWritesExactlyThePictureWithTheReferenceArithmetic)
{
    const std::array<float, 9> m = yuvToRgbMatrix(0);
    const std::pair<int, int> sizes[] = {{1, 1},  {2, 2},  {3, 3},  {1, 7},   {7, 1},    {63, 5},
                                         {64, 4}, {65, 6}, {130, 9}, {321, 241}, {1920, 1080}};
    unsigned seed = 1;
    for (const auto &[w, h] : sizes) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const Nv12 src(w, h, w % 3 * 2, seed++);
        GuardedRgba dst(w, h);
        cpuNv12ToRgba32(src.bytes.data(), src.pitch, dst.picture(), dst.pitch, w, h, 0);

        int outside = 0;
        for (size_t i = 0; i < dst.bytes.size(); ++i)
            if (!dst.inside(i) && dst.bytes[i] != kGuard)
                ++outside;
        EXPECT_EQ(outside, 0) << "bytes written outside the picture";

        int wrong = 0;
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x) {
                const uint8_t *p = dst.pixel(x, row);
                const std::array<int, 3> ref = referenceRgb(m, src.y(x, row), src.u(x, row), src.v(x, row));
                bool ok = p[3] == 255;
                for (int c = 0; c < 3; ++c)
                    ok = ok && std::abs(p[c] - ref[c]) <= 1;
                if (!ok && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << row << ": " << int(p[0]) << " " << int(p[1]) << " "
                                  << int(p[2]) << " " << int(p[3]) << ", expected " << ref[0] << " " << ref[1]
                                  << " " << ref[2] << " 255";
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(ColourKernel, LevelsClampAndTruncate)
{
    // Black, white, a grey and out-of-range samples, as a 2x2 picture each.
    struct Case {
        uint8_t y, u, v;
        std::array<int, 3> rgb;
    };
    const Case cases[] = {
        {16, 128, 128, {0, 0, 0}},       {235, 128, 128, {255, 255, 255}}, {0, 128, 128, {0, 0, 0}},
        {255, 128, 128, {255, 255, 255}}, {126, 128, 128, {128, 128, 128}}, {16, 240, 128, {0, 0, 236}},
        {63, 102, 240, {255, 0, 0}},
    };
    for (const Case &c : cases) {
        uint8_t src[6] = {c.y, c.y, c.y, c.y, c.u, c.v};
        uint8_t dst[16] = {};
        cpuNv12ToRgba32(src, 2, dst, 8, 2, 2, 0);
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(dst[p * 4 + 0], c.rgb[0]) << int(c.y) << " " << int(c.u) << " " << int(c.v);
            EXPECT_EQ(dst[p * 4 + 1], c.rgb[1]) << int(c.y) << " " << int(c.u) << " " << int(c.v);
            EXPECT_EQ(dst[p * 4 + 2], c.rgb[2]) << int(c.y) << " " << int(c.u) << " " << int(c.v);
            EXPECT_EQ(dst[p * 4 + 3], 255);
        }
    }
}

namespace {

struct Picture {
    int pitch;
    std::vector<uint8_t> bytes;
};

Picture run(ColourKernel kernel, const std::vector<uint8_t> &src, int srcPitch, int dstPitch, size_t dstSize,
            int w, int h)
{
    Picture out{dstPitch, std::vector<uint8_t>(dstSize, kGuard)};
    cpuLaunchColourKernel(kernel, yuvToRgbMatrix(0), rgbToYuvMatrix(0), src.data(), srcPitch, out.bytes.data(),
                          dstPitch, w, h);
    return out;
}

uint16_t read16(const std::vector<uint8_t> &b, size_t offset)
{
    return uint16_t(b[offset] | b[offset + 1] << 8);
}

} // namespace

TEST(ColourKernel, FamilyMembersAgreeOnLayoutsDepthsAndByteOrders)
{
    const int w = 37, h = 11;
    const Nv12 nv12(w, h, 3, 99);
    const int pitch = nv12.pitch;
    const Picture rgba = run(ColourKernel::YuvToRgb_uchar2_RGBA32, nv12.bytes, pitch, w * 4, size_t(w) * 4 * h, w, h);

    // 16-bit source holding the 8-bit samples in its high bytes: the same picture.
    std::vector<uint8_t> p016(nv12.bytes.size() * 2);
    for (size_t i = 0; i < nv12.bytes.size(); ++i)
        p016[2 * i + 1] = nv12.bytes[i];
    EXPECT_EQ(run(ColourKernel::YuvToRgb_ushort2_RGBA32, p016, pitch * 2, w * 4, rgba.bytes.size(), w, h).bytes,
              rgba.bytes);

    // BGRA swaps red and blue.
    const Picture bgra = run(ColourKernel::YuvToRgb_uchar2_BGRA32, nv12.bytes, pitch, w * 4, rgba.bytes.size(), w, h);
    for (size_t p = 0; p < rgba.bytes.size(); p += 4) {
        ASSERT_EQ(bgra.bytes[p], rgba.bytes[p + 2]);
        ASSERT_EQ(bgra.bytes[p + 1], rgba.bytes[p + 1]);
        ASSERT_EQ(bgra.bytes[p + 2], rgba.bytes[p]);
        ASSERT_EQ(bgra.bytes[p + 3], 255);
    }

    // 16-bit channels: the same value on the scale 0..65535 (8-bit times 257),
    // truncated at a finer step: at most one 8-bit code above, never below
    // (but for the 1/16 code margin).
    const Picture rgba64 =
        run(ColourKernel::YuvToRgb_uchar2_RGBA64, nv12.bytes, pitch, w * 8, size_t(w) * 8 * h, w, h);
    for (size_t p = 0; p < rgba.bytes.size(); ++p) {
        const int wide = read16(rgba64.bytes, 2 * p);
        if (p % 4 == 3) {
            ASSERT_EQ(wide, 65535);
        } else {
            ASSERT_GE(wide - rgba.bytes[p] * 257, -16) << p;
            ASSERT_LT(wide - rgba.bytes[p] * 257, 257) << p;
        }
    }

    // 4:4:4 (three full planes) with each chroma sample repeated over its 2x2
    // block gives the 4:2:0 picture.
    std::vector<uint8_t> yuv444(size_t(pitch) * h * 3);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            yuv444[size_t(row) * pitch + x] = nv12.y(x, row);
            yuv444[size_t(pitch) * (h + row) + x] = nv12.u(x, row);
            yuv444[size_t(pitch) * (2 * h + row) + x] = nv12.v(x, row);
        }
    EXPECT_EQ(run(ColourKernel::Yuv444ToRgb_uchar2_RGBA32, yuv444, pitch, w * 4, rgba.bytes.size(), w, h).bytes,
              rgba.bytes);

    // Planar output: R, G, B planes of h rows each (B, G, R for BGRA32), no alpha.
    const int planePitch = w + 5;
    for (ColourKernel kernel : {ColourKernel::YuvToRgbPlanar_uchar2_RGBA32, ColourKernel::YuvToRgbPlanar_uchar2_BGRA32,
                                ColourKernel::Yuv444ToRgbPlanar_uchar2_RGBA32}) {
        const bool is444 = kernel == ColourKernel::Yuv444ToRgbPlanar_uchar2_RGBA32;
        const bool blueFirst = kernel == ColourKernel::YuvToRgbPlanar_uchar2_BGRA32;
        const Picture planes = run(kernel, is444 ? yuv444 : nv12.bytes, pitch, planePitch,
                                   size_t(planePitch) * h * 3 + 16, w, h);
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < planePitch; ++x)
                for (int k = 0; k < 3; ++k) {
                    const uint8_t got = planes.bytes[size_t(planePitch) * (k * h + row) + x];
                    const int channel = blueFirst ? 2 - k : k;
                    ASSERT_EQ(got, x < w ? rgba.bytes[size_t(row) * w * 4 + 4 * x + channel] : kGuard)
                        << x << "," << row << " plane " << k;
                }
        EXPECT_EQ(planes.bytes.back(), kGuard);
    }
}

TEST(ColourKernel, RgbToP016HasTheVideoLevelsAndRoundTrips)
{
    // Odd size: the last column and row form partial blocks.
    const int w = 9, h = 5, srcPitch = w * 8 + 8, dstPitch = w * 2 + 6;
    std::mt19937 random(5);
    std::vector<uint8_t> bgra(size_t(srcPitch) * h);
    std::vector<std::array<uint16_t, 3>> colours(size_t(w) * h);
    // One colour per 2x2 block, so that chroma subsampling loses nothing.
    for (int by = 0; by < h; by += 2)
        for (int bx = 0; bx < w; bx += 2) {
            std::array<uint16_t, 3> rgb{uint16_t(random()), uint16_t(random()), uint16_t(random())};
            if (bx == 0 && by == 0)
                rgb = {65535, 65535, 65535};
            if (bx == 2 && by == 0)
                rgb = {0, 0, 0};
            for (int y = by; y < std::min(h, by + 2); ++y)
                for (int x = bx; x < std::min(w, bx + 2); ++x) {
                    colours[size_t(y) * w + x] = rgb;
                    const uint16_t bgraWords[4] = {rgb[2], rgb[1], rgb[0], 65535};
                    std::memcpy(&bgra[size_t(y) * srcPitch + 8 * x], bgraWords, 8);
                }
        }
    const size_t p016Size = size_t(dstPitch) * (h + (h + 1) / 2);
    const Picture p016 = run(ColourKernel::RgbToYuv_ushort2_BGRA64, bgra, srcPitch, dstPitch, p016Size, w, h);

    // White and black land on 235 << 8 and 16 << 8 with neutral chroma 128 << 8.
    EXPECT_EQ(read16(p016.bytes, 0), 60160);
    EXPECT_EQ(read16(p016.bytes, size_t(dstPitch) + 2), 60160);
    EXPECT_EQ(read16(p016.bytes, 4), 4096);
    EXPECT_EQ(read16(p016.bytes, size_t(dstPitch) * h), 32768);
    EXPECT_EQ(read16(p016.bytes, size_t(dstPitch) * h + 2), 32768);
    EXPECT_EQ(read16(p016.bytes, size_t(dstPitch) * h + 4), 32768);
    // Padding after each row is left alone.
    EXPECT_EQ(p016.bytes[size_t(w) * 2], kGuard);

    const Picture back = run(ColourKernel::YuvToRgb_ushort2_BGRA64, p016.bytes, dstPitch, w * 8, size_t(w) * 8 * h, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t at = (size_t(y) * w + x) * 8;
            const std::array<uint16_t, 3> &rgb = colours[size_t(y) * w + x];
            EXPECT_NEAR(read16(back.bytes, at + 4), rgb[0], 8) << x << "," << y;
            EXPECT_NEAR(read16(back.bytes, at + 2), rgb[1], 8) << x << "," << y;
            EXPECT_NEAR(read16(back.bytes, at), rgb[2], 8) << x << "," << y;
            EXPECT_EQ(read16(back.bytes, at + 6), 65535);
        }
}
