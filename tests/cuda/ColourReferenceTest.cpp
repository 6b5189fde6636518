// The launched kernel's arithmetic on a real picture, run on the CPU, against
// ffmpeg's own BT.709 limited-range conversion of the same NV12 planes.
#include "CpuKernelRunner.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(ColourReference, Nv12PatternMatchesFfmpegBt709WithinTwo)
{
    const int w = 320, h = 240;
    const std::vector<uint8_t> nv12 = readFile(mediaPath("pattern_nv12.raw"));
    const std::vector<uint8_t> reference = readFile(mediaPath("pattern_bt709_rgba.raw"));
    ASSERT_EQ(nv12.size(), size_t(w * h * 3 / 2));
    ASSERT_EQ(reference.size(), size_t(w * h * 4));

    std::vector<uint8_t> rgba(reference.size(), 0);
    cpuNv12ToRgba32(nv12.data(), w, rgba.data(), w * 4, w, h, 0);

    int worst = 0, over = 0;
    for (size_t i = 0; i < rgba.size(); ++i) {
        const int difference = std::abs(int(rgba[i]) - int(reference[i]));
        worst = std::max(worst, difference);
        if (difference > 2 && ++over <= 5)
            ADD_FAILURE() << "pixel " << i / 4 % w << "," << i / 4 / w << " channel " << i % 4 << ": "
                          << int(rgba[i]) << " vs " << int(reference[i]);
    }
    EXPECT_EQ(over, 0) << "worst difference " << worst;
}
