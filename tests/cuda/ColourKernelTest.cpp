// The launched kernel's per-thread code run on the CPU over the whole launch
// grid: coverage of the picture and the NV12 arithmetic against a
// double-precision reference, then the levels at the edges of the range.
#include "CpuKernelRunner.h"

#include <gtest/gtest.h>

#include <cmath>
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
