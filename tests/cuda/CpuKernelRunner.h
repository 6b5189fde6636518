// The converter's kernel on the CPU: every block and thread of the launch
// geometry runs the kernel's own per-thread code. For the kernel tests, the
// fake runtime and the GPU check.
#pragma once

#include "cuda/ColourMatrix.h"
#include "cuda/ColourPixel.h"

#include <algorithm>

// The CPU twin of launchNv12ToRgba32 (Unit uchar2) and launchP016ToRgba32 (ushort2).
template <class Unit = uchar2>
inline void cpuNv12ToRgba32(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch, int width,
                            int height, int standardIndex)
{
    const std::array<float, 9> matrix = yuvToRgbMatrix(standardIndex);
    const std::array<float, 2> levels = yuvLevels(standardIndex);
    float m[11];
    std::copy(matrix.begin(), matrix.end(), m);
    std::copy(levels.begin(), levels.end(), m + 9);
    const LaunchGeometry g = launchGeometry(width, height);
    for (unsigned by = 0; by < g.gridY; ++by)
        for (unsigned bx = 0; bx < g.gridX; ++bx)
            for (unsigned ty = 0; ty < g.blockY; ++ty)
                for (unsigned tx = 0; tx < g.blockX; ++tx) {
                    const colour::BlockOrigin o = colour::blockOrigin(bx, by, g.blockX, g.blockY, tx, ty);
                    colour::YuvToRgbKernelBody<Unit, RGBA32, uint2>::run(src, srcPitch, dst, dstPitch, width,
                                                                          height, o.x, o.y, m);
                }
}
