// Runs the colour kernels on the CPU: walks every block and thread of the
// launch geometry, in the order a GPU might, and calls the very per-thread
// function the kernel runs. Used by the kernel tests and the GPU check.
#pragma once

#include "cuda/ColourKernels.h"
#include "cuda/ColourMatrix.h"
#include "cuda/ColourPixel.h"

#include <array>
#include <functional>

inline void walkGrid(const LaunchGeometry &g, const std::function<void(colour::BlockOrigin)> &thread)
{
    for (unsigned bz = 0; bz < g.gridZ; ++bz)
        for (unsigned by = 0; by < g.gridY; ++by)
            for (unsigned bx = 0; bx < g.gridX; ++bx)
                for (unsigned tz = 0; tz < g.blockZ; ++tz)
                    for (unsigned ty = 0; ty < g.blockY; ++ty)
                        for (unsigned tx = 0; tx < g.blockX; ++tx)
                            thread(colour::blockOrigin(bx, by, g.blockX, g.blockY, tx, ty));
}

// The CPU twin of launchColourKernel; the matrices stand for the constant memory.
inline void cpuLaunchColourKernel(ColourKernel kernel, const std::array<float, 9> &yuvToRgb,
                                  const std::array<float, 9> &rgbToYuv, const unsigned char *src, int srcPitch,
                                  unsigned char *dst, int dstPitch, int width, int height)
{
    const LaunchGeometry g = launchGeometry(width, height);
    switch (kernel) {
#define PLA_CPU_LAUNCH(id, k, unit, pixel, written)                                                               \
    case ColourKernel::id: {                                                                                      \
        using Body = colour::k##Body<unit, pixel, written>;                                                       \
        const float *m = Body::inverse ? rgbToYuv.data() : yuvToRgb.data();                                       \
        walkGrid(g, [&](colour::BlockOrigin o) {                                                                  \
            Body::run(src, srcPitch, dst, dstPitch, width, height, o.x, o.y, m);                                  \
        });                                                                                                       \
        break;                                                                                                    \
    }
        PLA_COLOUR_KERNELS(PLA_CPU_LAUNCH)
#undef PLA_CPU_LAUNCH
    }
}

// The CPU twin of launchNv12ToRgba32.
inline void cpuNv12ToRgba32(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch, int width,
                            int height, int standardIndex)
{
    cpuLaunchColourKernel(ColourKernel::YuvToRgb_uchar2_RGBA32, yuvToRgbMatrix(standardIndex),
                          rgbToYuvMatrix(standardIndex), src, srcPitch, dst, dstPitch, width, height);
}
