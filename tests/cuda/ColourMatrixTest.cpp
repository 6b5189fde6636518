// The conversion matrix the converter's launches copy to constant memory,
// checked on the host.
#include "cuda/ColourMatrix.h"

#include <gtest/gtest.h>

TEST(ColourMatrix, LaunchedStandardIsBt709ToFloatPrecision)
{
    // Limited-range luma: every column scaled by 255 / 219.
    const double bt709[9] = {1.1643835, 0, 1.8336712, 1.1643835, -0.21811728, -0.54507619, 1.1643835, 2.1606302, 0};
    const std::array<float, 9> m = yuvToRgbMatrix(0);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(m[i], bt709[i], 5e-7) << "element " << i;
}
