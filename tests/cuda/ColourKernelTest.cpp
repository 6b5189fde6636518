// The launched kernel's per-thread code run on the CPU over the whole launch
// grid: coverage of the picture and the NV12 arithmetic of each standard and
// range against a double-precision reference worked out from the standards'
// own luma weights, then the levels at the edges of the range.
#include "CpuKernelRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
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

// Channel c (R, G, B) of the intended result in double precision, from the
// standard's red and blue luma weights: limited range (luma 219 codes, chroma
// 224) or full range to full range, truncated.
int referenceChannel(double wr, double wb, bool full, int c, int y, int u, int v)
{
    const double l = full ? y : (y - 16.0) * 255.0 / 219.0, chroma = full ? 1.0 : 255.0 / 224.0;
    const double cb = (u - 128.0) * chroma, cr = (v - 128.0) * chroma, wg = 1.0 - wr - wb;
    const double value = c == 0   ? l + 2.0 * (1.0 - wr) * cr
                         : c == 1 ? l - (2.0 * wb * (1.0 - wb) * cb + 2.0 * wr * (1.0 - wr) * cr) / wg
                                  : l + 2.0 * (1.0 - wb) * cb;
    return int(std::floor(std::min(255.0, std::max(0.0, value))));
}

} // namespace

TEST(ColourKernel, Nv12LaunchWritesExactlyThePictureWithTheReferenceArithmetic)
{
    // Red and blue weights of BT.709, BT.601, BT.2020, SMPTE 240M and FCC, by standard index.
    const std::map<int, std::pair<double, double>> weights = {
        {0, {0.2126, 0.0722}}, {2, {0.299, 0.114}}, {5, {0.2627, 0.0593}}, {6, {0.212, 0.087}}, {7, {0.30, 0.11}}};
    const struct {
        int width, height, standardIndex;
    } cases[] = {{1, 1, 0},    {2, 2, 2},      {3, 3, 0},      {1, 7, 5},      {7, 1, 0},
                 {63, 5, 6},   {64, 4, 7},     {65, 6, 2 + kFullRange},        {130, 9, 0},
                 {321, 241, 2}, {322, 243, kFullRange}, {320, 240, 5}, {319, 239, 6}, {1920, 1080, 0}};
    unsigned seed = 1;
    for (const auto &[w, h, index] : cases) {
        const auto [wr, wb] = weights.at(index & ~kFullRange);
        const bool full = index & kFullRange;
        const Nv12 src(w, h, w % 3 * 2, seed++);
        // A guard band around the picture: 8 bytes left, 24 right, a row above and below.
        const int pitch = w * 4 + 32;
        std::vector<uint8_t> dst(size_t(pitch) * (h + 2), kGuard);
        cpuNv12ToRgba32(src.bytes.data(), src.pitch, dst.data() + pitch + 8, pitch, w, h, index);
        int outside = 0, wrong = 0;
        for (size_t i = 0; i < dst.size(); ++i) {
            const int row = int(i / pitch) - 1, column = int(i % pitch) - 8, x = column / 4, c = column % 4;
            if (row < 0 || row >= h || column < 0 || column >= w * 4) {
                outside += dst[i] != kGuard;
                continue;
            }
            const int expected = c == 3 ? 255
                                        : referenceChannel(wr, wb, full, c, src.at(0, x, row), src.at(1, x, row),
                                                           src.at(2, x, row));
            if (std::abs(dst[i] - expected) > (c == 3 ? 0 : 1) && ++wrong <= 3)
                ADD_FAILURE() << w << "x" << h << " standard " << index << " pixel " << x << "," << row
                              << " channel " << c << ": " << int(dst[i]) << ", expected " << expected;
        }
        EXPECT_EQ(outside, 0) << w << "x" << h << ": bytes written outside the picture";
    }
}

TEST(ColourKernel, LevelsClampAndTruncate)
{
    // Y, Cb, Cr of a 2x2 picture and its R, G, B: black, white, out-of-range
    // samples, greys (91.986 is within 1/16 of 92, which it reaches) and
    // saturated colours.
    const int cases[][6] = {{16, 128, 128, 0, 0, 0},     {235, 128, 128, 255, 255, 255}, {0, 128, 128, 0, 0, 0},
                            {255, 128, 128, 255, 255, 255}, {126, 128, 128, 128, 128, 128}, {95, 128, 128, 92, 92, 92},
                            {16, 240, 128, 0, 0, 236},      {63, 102, 240, 255, 0, 0}};
    for (const int *c : cases) {
        const uint8_t y = uint8_t(c[0]), src[6] = {y, y, y, y, uint8_t(c[1]), uint8_t(c[2])};
        uint8_t dst[16] = {};
        cpuNv12ToRgba32(src, 2, dst, 8, 2, 2, 0);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(dst[i], i % 4 == 3 ? 255 : c[3 + i % 4]) << "YUV " << c[0] << " " << c[1] << " " << c[2];
    }
}
