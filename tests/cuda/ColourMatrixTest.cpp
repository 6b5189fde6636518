// Conversion matrices of the three standards and the launchers' geometry,
// checked on the host (the same values the launchers copy to constant memory).
#include "cuda/ColourMatrix.h"

#include <gtest/gtest.h>

TEST(ColourMatrix, EachStandardHasItsMatrixToFloatPrecision)
{
    // BT.709 is the default; BT.601 8-bit has the range 255 / 219, BT.2020
    // 16-bit 65535 / (60160 - 4096).
    const std::array<double, 9> bt709 = {1.1643835, 0, 1.8336712, 1.1643835, -0.21811728, -0.54507619,
                                         1.1643835, 2.1606302, 0};
    const std::pair<int, std::array<double, 9>> cases[] = {
        {0, bt709}, {1, bt709}, {3, bt709}, {-1, bt709}, {709, bt709},
        {2, {1.1643836, 0, 1.6324658, 1.1643836, -0.40070663, -0.83152855, 1.1643836, 2.0632877, 0}},
        {4, {1.1689319, 0, 1.7237070, 1.1689319, -0.19235140, -0.66787292, 1.1689319, 2.1992285, 0}},
    };
    for (const auto &[index, expected] : cases) {
        const std::array<float, 9> m = yuvToRgbMatrix(index);
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(m[i], expected[i], 5e-7) << "standard " << index << " element " << i;
    }
}

TEST(ColourMatrix, RgbToYuvIsTheInverseDirection)
{
    for (int index : {0, 2, 4}) {
        const std::array<float, 9> forward = yuvToRgbMatrix(index), inverse = rgbToYuvMatrix(index);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int k = 0; k < 3; ++k)
                    sum += double(inverse[r * 3 + k]) * forward[k * 3 + c];
                EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 2e-6) << "standard " << index << " at " << r << "," << c;
            }
    }
}

TEST(ColourMatrix, LaunchGeometryCoversThePictureInBlocksOf64By4Pixels)
{
    struct Case {
        int width, height;
        unsigned gridX, gridY;
    };
    const Case cases[] = {{1920, 1080, 30, 270}, {1, 1, 1, 1}, {63, 3, 1, 1},   {64, 4, 1, 1},
                          {65, 5, 2, 2},         {128, 8, 2, 2}, {129, 9, 3, 3}};
    for (const Case &c : cases) {
        const LaunchGeometry g = launchGeometry(c.width, c.height);
        EXPECT_EQ(std::vector<unsigned>({g.gridX, g.gridY, g.gridZ, g.blockX, g.blockY, g.blockZ}),
                  std::vector<unsigned>({c.gridX, c.gridY, 1, 32, 2, 1}))
            << c.width << "x" << c.height;
    }
}
