// The launched kernel's arithmetic on a real picture, run on the CPU, against
// ffmpeg's own conversion of the same NV12 planes, for each matrix and range.
#include "CpuKernelRunner.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

TEST(ColourReference, Nv12PatternMatchesFfmpegForEachMatrixAndRangeWithinTwo)
{
    const int w = 320, h = 240;
    const auto read = [](const char *name) {
        std::ifstream in(mediaPath(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<uint8_t> nv12 = read("pattern_nv12.raw");
    ASSERT_EQ(nv12.size(), size_t(w * h * 3 / 2));
    const struct {
        const char *reference;
        int standardIndex;
    } cases[] = {{"pattern_bt709_rgba.raw", 0},
                 {"pattern_bt601_pc_rgba.raw", 2 + kFullRange},
                 {"pattern_bt2020_rgba.raw", 5},
                 {"pattern_bt709_pc_rgba.raw", kFullRange}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reference);
        const std::vector<uint8_t> reference = read(c.reference);
        ASSERT_EQ(reference.size(), size_t(w * h * 4));
        std::vector<uint8_t> rgba(reference.size());
        cpuNv12ToRgba32(nv12.data(), w, rgba.data(), w * 4, w, h, c.standardIndex);
        int over = 0;
        for (size_t i = 0; i < rgba.size(); ++i)
            if (std::abs(rgba[i] - reference[i]) > 2 && ++over <= 5)
                ADD_FAILURE() << "pixel " << i / 4 % w << "," << i / 4 / w << " channel " << i % 4 << ": "
                              << int(rgba[i]) << " vs " << int(reference[i]);
        EXPECT_EQ(over, 0);
    }
}
