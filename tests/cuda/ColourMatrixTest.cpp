// Conversion matrices of the three standards and the launchers' geometry,
// checked on the host (the same values the launchers copy to constant memory).
#include "cuda/ColourMatrix.h"

#include <gtest/gtest.h>

namespace {

void expectMatrix(const std::array<float, 9> &actual, const std::array<double, 9> &expected, double tolerance)
{
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "row " << i / 3 << " column " << i % 3;
}

} // namespace

TEST(ColourMatrix, Bt709IsTheDefaultStandardToFloatPrecision)
{
    const std::array<double, 9> bt709 = {1.1643835, 0,           1.8336712,  //
                                         1.1643835, -0.21811728, -0.54507619, //
                                         1.1643835, 2.1606302,   0};
    for (int index : {0, 1, 3, 5, -1, 709}) {
        SCOPED_TRACE(index);
        expectMatrix(yuvToRgbMatrix(index), bt709, 5e-7);
    }
    // One range factor for the luma and the chroma columns alike.
    const std::array<float, 9> m = yuvToRgbMatrix(0);
    EXPECT_FLOAT_EQ(m[2] / m[0], 2.0f * (1.0f - 0.2126f));
}

TEST(ColourMatrix, Bt601And2020UseTheirWeightsAndRanges)
{
    // 8-bit range 255 / 219 for index 2, 16-bit 65535 / (60160 - 4096) for index 4.
    expectMatrix(yuvToRgbMatrix(2),
                 {1.1643836, 0, 1.6324658, 1.1643836, -0.40070663, -0.83152855, 1.1643836, 2.0632877, 0}, 5e-7);
    expectMatrix(yuvToRgbMatrix(4),
                 {1.1689319, 0, 1.7237070, 1.1689319, -0.19235140, -0.66787292, 1.1689319, 2.1992285, 0}, 5e-7);
}

TEST(ColourMatrix, RgbToYuvIsTheInverseDirection)
{
    for (int index : {0, 2, 4}) {
        SCOPED_TRACE(index);
        const std::array<float, 9> forward = yuvToRgbMatrix(index);
        const std::array<float, 9> inverse = rgbToYuvMatrix(index);
        // The range factors cancel: (white - black) / max times max / (white - black).
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int k = 0; k < 3; ++k)
                    sum += double(inverse[r * 3 + k]) * forward[k * 3 + c];
                EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 2e-6) << r << "," << c;
            }
        // White has full luma and no chroma.
        const ColourConstants k = colourConstants(index);
        EXPECT_NEAR(inverse[0] + inverse[1] + inverse[2], double(k.white - k.black) / k.max, 1e-6);
        EXPECT_NEAR(inverse[3] + inverse[4] + inverse[5], 0.0, 1e-6);
        EXPECT_NEAR(inverse[6] + inverse[7] + inverse[8], 0.0, 1e-6);
    }
}

TEST(ColourMatrix, LaunchGeometryCoversThePictureInTwoByTwoBlocks)
{
    const LaunchGeometry hd = launchGeometry(1920, 1080);
    EXPECT_EQ(hd.gridX, 30u);
    EXPECT_EQ(hd.gridY, 270u);
    EXPECT_EQ(hd.gridZ, 1u);
    EXPECT_EQ(hd.blockX, 32u);
    EXPECT_EQ(hd.blockY, 2u);
    EXPECT_EQ(hd.blockZ, 1u);

    const LaunchGeometry one = launchGeometry(1, 1);
    EXPECT_EQ(one.gridX, 1u);
    EXPECT_EQ(one.gridY, 1u);

    // One block spans 64 columns and 4 rows.
    const std::pair<int, unsigned> columns[] = {{63, 1}, {64, 1}, {65, 2}, {128, 2}, {129, 3}};
    for (const auto &[width, blocks] : columns)
        EXPECT_EQ(launchGeometry(width, 4).gridX, blocks) << width;
    const std::pair<int, unsigned> rows[] = {{3, 1}, {4, 1}, {5, 2}, {8, 2}, {9, 3}};
    for (const auto &[height, blocks] : rows)
        EXPECT_EQ(launchGeometry(64, height).gridY, blocks) << height;
}
