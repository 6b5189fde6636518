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

// Index 2: BT.601 8-bit, index 4: BT.2020 16-bit, anything else: BT.709 8-bit.
ColourConstants colourConstants(int standardIndex);

// Row-major 3x3 matrices as copied to matYuv2Rgb and matRgb2Yuv.
std::array<float, 9> yuvToRgbMatrix(int standardIndex);
std::array<float, 9> rgbToYuvMatrix(int standardIndex);

// Block and grid of the launchers: 32 x 2 threads, one 2 x 2 pixel block each.
struct LaunchGeometry {
    unsigned gridX, gridY, gridZ;
    unsigned blockX, blockY, blockZ;
};
LaunchGeometry launchGeometry(int width, int height);
