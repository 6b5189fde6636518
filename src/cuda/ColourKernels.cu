// The colour-conversion kernel family with its constant-memory matrices. The
// per-block arithmetic lives in ColourPixel.h, shared with the host.
#include "cuda/ColourKernels.h"
#include "cuda/ColourMatrix.h"
#include "cuda/ColourPixel.h"

#include <cuda_runtime.h>

__constant__ float matYuv2Rgb[3][3];
__constant__ float matRgb2Yuv[3][3];
// Black level and chroma factor of the YUV source (ColourMatrix.h's yuvLevels).
__constant__ float yuvInputLevels[2];

namespace {

// Copied into registers once per thread, with the levels after the matrix;
// every thread reads the same entries.
__device__ inline void loadMatrix(const float (&symbol)[3][3], float *m)
{
    for (int i = 0; i < 9; ++i)
        m[i] = symbol[i / 3][i % 3];
    m[9] = yuvInputLevels[0];
    m[10] = yuvInputLevels[1];
}

__device__ inline colour::BlockOrigin threadOrigin()
{
    return colour::blockOrigin(blockIdx.x, blockIdx.y, blockDim.x, blockDim.y, threadIdx.x, threadIdx.y);
}

dim3 gridOf(const LaunchGeometry &g) { return dim3(g.gridX, g.gridY, g.gridZ); }
dim3 blockOf(const LaunchGeometry &g) { return dim3(g.blockX, g.blockY, g.blockZ); }

} // namespace

// One kernel template per body of ColourPixel.h, all with the same arguments.
#define PLA_COLOUR_KERNEL(name)                                                                                   \
    template <class A, class Pixel, class B>                                                                      \
    __global__ void name(unsigned char *source, int sourcePitch, unsigned char *destination,                     \
                         int destinationPitch, int width, int height)                                             \
    {                                                                                                             \
        using Body = colour::name##Body<A, Pixel, B>;                                                             \
        float m[11];                                                                                              \
        loadMatrix(Body::inverse ? matRgb2Yuv : matYuv2Rgb, m);                                                   \
        const colour::BlockOrigin o = threadOrigin();                                                             \
        Body::run(source, sourcePitch, destination, destinationPitch, width, height, o.x, o.y, m);              \
    }
PLA_COLOUR_KERNEL(YuvToRgbKernel)
PLA_COLOUR_KERNEL(Yuv444ToRgbKernel)
PLA_COLOUR_KERNEL(YuvToRgbPlanarKernel)
PLA_COLOUR_KERNEL(Yuv444ToRgbPlanarKernel)
PLA_COLOUR_KERNEL(RgbToYuvKernel)
#undef PLA_COLOUR_KERNEL

#define PLA_INSTANTIATE(id, kernel, unit, pixel, written)                                                         \
    template __global__ void kernel<unit, pixel, written>(unsigned char *, int, unsigned char *, int, int, int);
PLA_COLOUR_KERNELS(PLA_INSTANTIATE)
#undef PLA_INSTANTIATE

void buildYuvToRgbMatrix(int standardIndex)
{
    const std::array<float, 9> m = yuvToRgbMatrix(standardIndex);
    cudaMemcpyToSymbol(matYuv2Rgb, m.data(), sizeof(float) * 9, 0, cudaMemcpyHostToDevice);
    const std::array<float, 2> levels = yuvLevels(standardIndex);
    cudaMemcpyToSymbol(yuvInputLevels, levels.data(), sizeof(float) * 2, 0, cudaMemcpyHostToDevice);
}

void buildRgbToYuvMatrix(int standardIndex)
{
    const std::array<float, 9> m = rgbToYuvMatrix(standardIndex);
    cudaMemcpyToSymbol(matRgb2Yuv, m.data(), sizeof(float) * 9, 0, cudaMemcpyHostToDevice);
}

namespace {

// 4:2:0 semi-planar samples of one unit (8- or 16-bit) to RGBA bytes.
template <class Unit>
void launchYuv420ToRgba32(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch,
                          int width, int height, int standardIndex)
{
    buildYuvToRgbMatrix(standardIndex);
    const LaunchGeometry g = launchGeometry(width, height);
    YuvToRgbKernel<Unit, RGBA32, uint2><<<gridOf(g), blockOf(g), 0, 0>>>(source, sourcePitch, destination,
                                                                          destinationPitch, width, height);
}

} // namespace

void launchNv12ToRgba32(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch,
                        int width, int height, int standardIndex)
{
    launchYuv420ToRgba32<uchar2>(source, sourcePitch, destination, destinationPitch, width, height, standardIndex);
}

void launchP016ToRgba32(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch,
                        int width, int height, int standardIndex)
{
    launchYuv420ToRgba32<ushort2>(source, sourcePitch, destination, destinationPitch, width, height, standardIndex);
}

void launchP016FromBgra64(unsigned char *source, int sourcePitch, unsigned char *destination,
                          int destinationPitch, int width, int height, int standardIndex)
{
    buildRgbToYuvMatrix(standardIndex);
    const LaunchGeometry g = launchGeometry(width, height);
    RgbToYuvKernel<ushort2, BGRA64, ulonglong2><<<gridOf(g), blockOf(g), 0, 0>>>(
        source, sourcePitch, destination, destinationPitch, width, height);
}

void launchColourKernel(ColourKernel kernel, unsigned char *source, int sourcePitch, unsigned char *destination,
                        int destinationPitch, int width, int height)
{
    const LaunchGeometry g = launchGeometry(width, height);
    switch (kernel) {
#define PLA_LAUNCH(id, k, unit, pixel, written)                                                                   \
    case ColourKernel::id:                                                                                        \
        k<unit, pixel, written><<<gridOf(g), blockOf(g), 0, 0>>>(source, sourcePitch, destination,              \
                                                                 destinationPitch, width, height);              \
        break;
        PLA_COLOUR_KERNELS(PLA_LAUNCH)
#undef PLA_LAUNCH
    }
}
