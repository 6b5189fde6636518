// The kernel's per-thread code over the launch grid on the CPU, against a
// double-precision reference from each standard's luma weights.
#include "CpuKernelRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;

// 8-bit NV12 with random samples in a buffer of exactly the planes' size.
struct Nv12 {
    int width, height, pitch;
    std::vector<uint8_t> bytes;

    Nv12(int w, int h, int extraPitch, unsigned seed)
        : width(w), height(h), pitch(((w + 1) & ~1) + extraPitch), bytes(size_t(pitch) * (h + (h + 1) / 2))
    {
        std::mt19937 random(seed);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
        // Limited-range white first: a hair below 255 before the 1/16 code margin.
        bytes[0] = 235;
        bytes[size_t(pitch) * h] = bytes[size_t(pitch) * h + 1] = 128;
    }
    // Sample k (0 luma, 1 Cb, 2 Cr) of pixel x of a row.
    uint8_t at(int k, int x, int row) const
    {
        return k == 0 ? bytes[size_t(row) * pitch + x] : bytes[size_t(pitch) * (height + row / 2) + (x & ~1) + k - 1];
    }
};

// Channel c from the red and blue luma weights, limited or full range, clamped and truncated.
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
    // Widths about the 64-pixel blocks, heights about the 4-row ones.
    const struct {
        int width, height, standardIndex;
    } cases[] = {{1, 1, 0},  {3, 3, 2},  {1, 7, 5},     {7, 1, 6},     {63, 5, 7},     {64, 4, 2 + kFullRange},
                 {65, 6, 0}, {130, 9, kFullRange}, {321, 241, 2}, {322, 243, 5}, {1920, 1080, 0}};
    unsigned seed = 1;
    for (const auto &[w, h, index] : cases) {
        const auto [wr, wb] = weights.at(index & ~kFullRange);
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
                                        : referenceChannel(wr, wb, index & kFullRange, c, src.at(0, x, row),
                                                           src.at(1, x, row), src.at(2, x, row));
            // Truncated, or one above where the result is within 1/16 of the next code.
            const int above = dst[i] - expected;
            if ((c == 3 ? above != 0 : above < 0 || above > 1) && ++wrong <= 3)
                ADD_FAILURE() << w << "x" << h << " standard " << index << " pixel " << x << "," << row << " channel "
                              << c << ": " << int(dst[i]) << ", expected " << expected;
        }
        EXPECT_EQ(outside, 0) << w << "x" << h << ": bytes written outside the picture";
    }
}
