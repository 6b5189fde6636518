#include "cuda/ColourMatrix.h"

namespace {

ColourConstants limitedConstants(int standardIndex)
{
    switch (standardIndex) {
    case 2:
        return {0.299f, 0.114f, 16, 235, 255};
    case 4:
        return {0.2627f, 0.0593f, 4096, 60160, 65535};
    case 5:
        return {0.2627f, 0.0593f, 16, 235, 255};
    case 6:
        return {0.212f, 0.087f, 16, 235, 255};
    case 7:
        return {0.30f, 0.11f, 16, 235, 255};
    default:
        return {0.2126f, 0.0722f, 16, 235, 255};
    }
}

bool isFullRange(int standardIndex)
{
    return standardIndex >= 0 && (standardIndex & kFullRange) != 0;
}

} // namespace

ColourConstants colourConstants(int standardIndex)
{
    if (!isFullRange(standardIndex))
        return limitedConstants(standardIndex);
    ColourConstants c = limitedConstants(standardIndex & ~kFullRange);
    c.black = 0;
    c.white = c.max;
    return c;
}

std::array<float, 2> yuvLevels(int standardIndex)
{
    if (isFullRange(standardIndex))
        return {0.0f, 1.0f};
    return {16.0f, 219.0f / 224.0f};
}

namespace {

// The rows are worked out in float; only the range factor is applied in double.
std::array<float, 9> scaled(const float (&m)[9], double factor)
{
    std::array<float, 9> out;
    for (int i = 0; i < 9; ++i)
        out[i] = static_cast<float>(static_cast<double>(m[i]) * factor);
    return out;
}

} // namespace

std::array<float, 9> yuvToRgbMatrix(int standardIndex)
{
    const ColourConstants c = colourConstants(standardIndex);
    const float wr = c.wr, wb = c.wb;
    const float m[9] = {
        1.0f, 0.0f, (1.0f - wr) / 0.5f,
        1.0f, -wb * (1.0f - wb) / 0.5f / (1.0f - wb - wr), -wr * (1.0f - wr) / 0.5f / (1.0f - wb - wr),
        1.0f, (1.0f - wb) / 0.5f, 0.0f,
    };
    return scaled(m, static_cast<double>(c.max) / static_cast<double>(c.white - c.black));
}

std::array<float, 9> rgbToYuvMatrix(int standardIndex)
{
    const ColourConstants c = colourConstants(standardIndex);
    const float wr = c.wr, wb = c.wb;
    const float m[9] = {
        wr, 1.0f - wb - wr, wb,
        -0.5f * wr / (1.0f - wb), -0.5f * (1.0f - wb - wr) / (1.0f - wb), 0.5f,
        0.5f, -0.5f * (1.0f - wb - wr) / (1.0f - wr), -0.5f * wb / (1.0f - wr),
    };
    return scaled(m, static_cast<double>(c.white - c.black) / static_cast<double>(c.max));
}

LaunchGeometry launchGeometry(int width, int height)
{
    const unsigned gridX = static_cast<unsigned>(((width + 63) / 32) / 2);
    const unsigned gridY = static_cast<unsigned>(((height + 3) / 2) / 2);
    return {gridX, gridY, 1, 32, 2, 1};
}
