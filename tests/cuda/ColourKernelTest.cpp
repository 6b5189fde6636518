// The kernels' per-thread code run on the CPU over the whole launch grid:
// coverage of the picture, the NV12 arithmetic against a double-precision
// reference, and the relations between the members of the family.
#include "CpuKernelRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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
        : width(w), height(h), pitch(((w + 1) & ~1) + extraPitch), bytes(size_t(pitch) * (h + (h + 1) / 2))
    {
        std::mt19937 random(seed);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
    }
    // Sample k (0 luma, 1 Cb, 2 Cr) of pixel x of a row.
    uint8_t at(int k, int x, int row) const
    {
        return k == 0 ? bytes[size_t(row) * pitch + x] : bytes[size_t(pitch) * (height + row / 2) + (x & ~1) + k - 1];
    }
};

// Channel c of the intended result in double precision: limited range (luma
// 219 codes, chroma 224) to full range, truncated.
int referenceChannel(const std::array<float, 9> &m, int c, int y, int u, int v)
{
    const double chroma = 219.0 / 224.0;
    const double value = m[c * 3] * (y - 16.0) + (m[c * 3 + 1] * (u - 128.0) + m[c * 3 + 2] * (v - 128.0)) * chroma;
    return int(std::floor(std::min(255.0, std::max(0.0, value))));
}

std::vector<uint8_t> run(ColourKernel kernel, const std::vector<uint8_t> &src, int srcPitch, int dstPitch,
                         size_t dstSize, int w, int h)
{
    std::vector<uint8_t> out(dstSize, kGuard);
    cpuLaunchColourKernel(kernel, yuvToRgbMatrix(0), rgbToYuvMatrix(0), src.data(), srcPitch, out.data(), dstPitch, w,
                          h);
    return out;
}

uint16_t read16(const std::vector<uint8_t> &b, size_t offset)
{
    return uint16_t(b[offset] | b[offset + 1] << 8);
}

} // namespace

TEST(ColourKernel, Nv12LaunchWritesExactlyThePictureWithTheReferenceArithmetic)
{
    const std::array<float, 9> m = yuvToRgbMatrix(0);
    const std::pair<int, int> sizes[] = {{1, 1},  {2, 2},  {3, 3},   {1, 7},     {7, 1},     {63, 5},
                                         {64, 4}, {65, 6}, {130, 9}, {321, 241}, {1920, 1080}};
    unsigned seed = 1;
    for (const auto &[w, h] : sizes) {
        const Nv12 src(w, h, w % 3 * 2, seed++);
        // A guard band around the picture: 8 bytes left, 24 right, a row above and below.
        const int pitch = w * 4 + 32;
        std::vector<uint8_t> dst(size_t(pitch) * (h + 2), kGuard);
        cpuNv12ToRgba32(src.bytes.data(), src.pitch, dst.data() + pitch + 8, pitch, w, h, 0);
        int outside = 0, wrong = 0;
        for (size_t i = 0; i < dst.size(); ++i) {
            const int row = int(i / pitch) - 1, column = int(i % pitch) - 8, x = column / 4, c = column % 4;
            if (row < 0 || row >= h || column < 0 || column >= w * 4) {
                outside += dst[i] != kGuard;
                continue;
            }
            const int expected =
                c == 3 ? 255 : referenceChannel(m, c, src.at(0, x, row), src.at(1, x, row), src.at(2, x, row));
            if (std::abs(dst[i] - expected) > (c == 3 ? 0 : 1) && ++wrong <= 3)
                ADD_FAILURE() << w << "x" << h << " pixel " << x << "," << row << " channel " << c << ": "
                              << int(dst[i]) << ", expected " << expected;
        }
        EXPECT_EQ(outside, 0) << w << "x" << h << ": bytes written outside the picture";
    }
}

TEST(ColourKernel, LevelsClampAndTruncate)
{
    // Y, Cb, Cr of a 2x2 picture and its R, G, B: black, white, out-of-range
    // samples, a grey and saturated colours.
    const int cases[][6] = {{16, 128, 128, 0, 0, 0},     {235, 128, 128, 255, 255, 255}, {0, 128, 128, 0, 0, 0},
                            {255, 128, 128, 255, 255, 255}, {126, 128, 128, 128, 128, 128}, {16, 240, 128, 0, 0, 236},
                            {63, 102, 240, 255, 0, 0}};
    for (const int *c : cases) {
        const uint8_t y = uint8_t(c[0]), src[6] = {y, y, y, y, uint8_t(c[1]), uint8_t(c[2])};
        uint8_t dst[16] = {};
        cpuNv12ToRgba32(src, 2, dst, 8, 2, 2, 0);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(dst[i], i % 4 == 3 ? 255 : c[3 + i % 4]) << "YUV " << c[0] << " " << c[1] << " " << c[2];
    }
}

TEST(ColourKernel, FamilyMembersAgreeOnLayoutsDepthsAndByteOrders)
{
    const int w = 37, h = 11;
    const Nv12 nv12(w, h, 3, 99);
    const int pitch = nv12.pitch;
    const size_t size = size_t(w) * 4 * h;
    const std::vector<uint8_t> rgba = run(ColourKernel::YuvToRgb_uchar2_RGBA32, nv12.bytes, pitch, w * 4, size, w, h);

    // The same picture from 16-bit samples (the 8-bit ones in the high bytes)
    // and from 4:4:4 planes with each chroma sample repeated over its 2x2 block.
    std::vector<uint8_t> p016(nv12.bytes.size() * 2), yuv444(size_t(pitch) * h * 3);
    for (size_t i = 0; i < nv12.bytes.size(); ++i)
        p016[2 * i + 1] = nv12.bytes[i];
    for (int k = 0; k < 3; ++k)
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x)
                yuv444[size_t(pitch) * (k * h + row) + x] = nv12.at(k, x, row);
    EXPECT_EQ(run(ColourKernel::YuvToRgb_ushort2_RGBA32, p016, pitch * 2, w * 4, size, w, h), rgba);
    EXPECT_EQ(run(ColourKernel::Yuv444ToRgb_uchar2_RGBA32, yuv444, pitch, w * 4, size, w, h), rgba);

    // BGRA swaps red and blue. 16-bit channels hold the same value on the
    // scale 0..65535 (8-bit times 257), truncated at a finer step: at most one
    // 8-bit code above, never below (but for the 1/16 code margin).
    const auto bgra = run(ColourKernel::YuvToRgb_uchar2_BGRA32, nv12.bytes, pitch, w * 4, size, w, h);
    const auto rgba64 = run(ColourKernel::YuvToRgb_uchar2_RGBA64, nv12.bytes, pitch, w * 8, size * 2, w, h);
    for (size_t p = 0; p < size; ++p) {
        const size_t c = p % 4;
        ASSERT_EQ(bgra[p], rgba[p - c + (c == 3 ? 3 : 2 - c)]) << p;
        const int wide = read16(rgba64, 2 * p);
        if (c == 3) {
            ASSERT_EQ(wide, 65535);
        }
        ASSERT_TRUE(wide - rgba[p] * 257 >= -16 && wide - rgba[p] * 257 < 257) << p << ": " << wide;
    }

    // Planar output: R, G, B planes of h rows each (B, G, R for BGRA32), no alpha.
    const int planePitch = w + 5;
    for (ColourKernel kernel : {ColourKernel::YuvToRgbPlanar_uchar2_RGBA32, ColourKernel::YuvToRgbPlanar_uchar2_BGRA32,
                                ColourKernel::Yuv444ToRgbPlanar_uchar2_RGBA32}) {
        const bool is444 = kernel == ColourKernel::Yuv444ToRgbPlanar_uchar2_RGBA32;
        const bool blueFirst = kernel == ColourKernel::YuvToRgbPlanar_uchar2_BGRA32;
        const auto planes =
            run(kernel, is444 ? yuv444 : nv12.bytes, pitch, planePitch, size_t(planePitch) * h * 3 + 16, w, h);
        for (size_t i = 0; i < planes.size(); ++i) {
            const int x = int(i % planePitch), row = int(i / planePitch) % h, k = int(i / planePitch) / h;
            const int channel = blueFirst ? 2 - k : k;
            ASSERT_EQ(planes[i], k < 3 && x < w ? rgba[size_t(row) * w * 4 + 4 * x + channel] : kGuard)
                << x << "," << row << " plane " << k;
        }
    }
}

TEST(ColourKernel, RgbToP016HasTheVideoLevelsAndRoundTrips)
{
    // Odd size: the last column and row form partial blocks. One colour per
    // 2x2 block, so that chroma subsampling loses nothing; white, then black first.
    const int w = 9, h = 5, srcPitch = w * 8 + 8, dstPitch = w * 2 + 6;
    std::mt19937 random(5);
    std::vector<uint8_t> bgra(size_t(srcPitch) * h);
    std::vector<std::array<uint16_t, 3>> colours(size_t(w) * h);
    for (int by = 0; by < h; by += 2)
        for (int bx = 0; bx < w; bx += 2) {
            std::array<uint16_t, 3> rgb{uint16_t(random()), uint16_t(random()), uint16_t(random())};
            if (by == 0 && bx < 4)
                rgb.fill(bx ? 0 : 65535);
            for (int y = by; y < std::min(h, by + 2); ++y)
                for (int x = bx; x < std::min(w, bx + 2); ++x) {
                    colours[size_t(y) * w + x] = rgb;
                    const uint16_t words[4] = {rgb[2], rgb[1], rgb[0], 65535};
                    std::memcpy(&bgra[size_t(y) * srcPitch + 8 * x], words, 8);
                }
        }
    const auto p016 = run(ColourKernel::RgbToYuv_ushort2_BGRA64, bgra, srcPitch, dstPitch,
                          size_t(dstPitch) * (h + (h + 1) / 2), w, h);

    // White and black land on 235 << 8 and 16 << 8 with neutral chroma 128 << 8;
    // the padding after each row is left alone.
    const size_t chroma = size_t(dstPitch) * h;
    EXPECT_EQ(std::vector<int>({read16(p016, 0), read16(p016, dstPitch + 2), read16(p016, 4), read16(p016, chroma),
                                read16(p016, chroma + 2), read16(p016, chroma + 4), p016[w * 2]}),
              std::vector<int>({60160, 60160, 4096, 32768, 32768, 32768, kGuard}));

    const auto back = run(ColourKernel::YuvToRgb_ushort2_BGRA64, p016, dstPitch, w * 8, size_t(w) * 8 * h, w, h);
    for (size_t p = 0; p < colours.size(); ++p)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(read16(back, p * 8 + 2 * c), c == 3 ? 65535 : colours[p][2 - c], c == 3 ? 0 : 8)
                << "pixel " << p << " channel " << c;
}
