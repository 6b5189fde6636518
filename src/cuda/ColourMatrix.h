// Host-side colour constants, conversion matrices and launch geometry of the
// colour kernels. Pure functions, callable from any thread and without a GPU.
#pragma once

#include <array>
#include <cstdint>

struct ColourConstants {
    float wr;
    float wb;
    int32_t black;
    int32_t white;
    int32_t max;
};

// Index 2: BT.601 8-bit, 4: BT.2020 16-bit, 5: BT.2020 8-bit, 6: SMPTE 240M
// 8-bit, 7: FCC 8-bit, anything else: BT.709 8-bit. Limited range, unless
// kFullRange is added to the index: then black is 0 and white the maximum.
constexpr int kFullRange = 16;
ColourConstants colourConstants(int standardIndex);

// What the YUV-to-RGB kernels subtract from luma (in 8-bit codes) and the
// factor that brings chroma to luma's range, as copied to yuvLevels.
std::array<float, 2> yuvLevels(int standardIndex);

// Row-major 3x3 matrices as copied to matYuv2Rgb and matRgb2Yuv.
std::array<float, 9> yuvToRgbMatrix(int standardIndex);
std::array<float, 9> rgbToYuvMatrix(int standardIndex);

// Block and grid of the launchers: 32 x 2 threads, one 2 x 2 pixel block each.
struct LaunchGeometry {
    unsigned gridX, gridY, gridZ;
    unsigned blockX, blockY, blockZ;
};
LaunchGeometry launchGeometry(int width, int height);
