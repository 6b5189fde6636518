// Host entry points of the colour-conversion kernel module (ColourKernels.cu).
// Called on the demux thread by the CUDA converter; every launch goes to the
// default stream and returns without waiting. Launch failures are left for
// cudaGetLastError.
#pragma once

// Computes the matrix of the standard and copies it to matYuv2Rgb / matRgb2Yuv
// (the copy's status is not checked: a failed launch reports it anyway).
void buildYuvToRgbMatrix(int standardIndex);
void buildRgbToYuvMatrix(int standardIndex);

// NV12 (luma rows, then interleaved Cb/Cr rows, one pitch) to RGBA bytes.
void launchNv12ToRgba32(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch,
                        int width, int height, int standardIndex);
// P016 / P010 (the NV12 layout with 16-bit samples, value in the high bits) to RGBA bytes.
void launchP016ToRgba32(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch,
                        int width, int height, int standardIndex);
// Packed BGRA with 16-bit channels to P016 (16-bit NV12 layout).
void launchP016FromBgra64(unsigned char *source, int sourcePitch, unsigned char *destination,
                          int destinationPitch, int width, int height, int standardIndex);

// Every member of the kernel family, as (id, kernel template, source unit,
// pixel type, written unit). Device tests and the CPU runner expand it.
#define PLA_COLOUR_KERNELS(X)                                                                                     \
    X(YuvToRgb_uchar2_RGBA32, YuvToRgbKernel, uchar2, RGBA32, uint2)                                          \
    X(YuvToRgb_uchar2_BGRA32, YuvToRgbKernel, uchar2, BGRA32, uint2)                                          \
    X(YuvToRgb_uchar2_RGBA64, YuvToRgbKernel, uchar2, RGBA64, ulonglong2)                                     \
    X(YuvToRgb_uchar2_BGRA64, YuvToRgbKernel, uchar2, BGRA64, ulonglong2)                                     \
    X(YuvToRgb_ushort2_RGBA32, YuvToRgbKernel, ushort2, RGBA32, uint2)                                        \
    X(YuvToRgb_ushort2_BGRA32, YuvToRgbKernel, ushort2, BGRA32, uint2)                                        \
    X(YuvToRgb_ushort2_RGBA64, YuvToRgbKernel, ushort2, RGBA64, ulonglong2)                                   \
    X(YuvToRgb_ushort2_BGRA64, YuvToRgbKernel, ushort2, BGRA64, ulonglong2)                                   \
    X(Yuv444ToRgb_uchar2_RGBA32, Yuv444ToRgbKernel, uchar2, RGBA32, uint2)                                    \
    X(Yuv444ToRgb_uchar2_BGRA32, Yuv444ToRgbKernel, uchar2, BGRA32, uint2)                                    \
    X(Yuv444ToRgb_uchar2_RGBA64, Yuv444ToRgbKernel, uchar2, RGBA64, ulonglong2)                               \
    X(Yuv444ToRgb_uchar2_BGRA64, Yuv444ToRgbKernel, uchar2, BGRA64, ulonglong2)                               \
    X(Yuv444ToRgb_ushort2_RGBA32, Yuv444ToRgbKernel, ushort2, RGBA32, uint2)                                  \
    X(Yuv444ToRgb_ushort2_BGRA32, Yuv444ToRgbKernel, ushort2, BGRA32, uint2)                                  \
    X(Yuv444ToRgb_ushort2_RGBA64, Yuv444ToRgbKernel, ushort2, RGBA64, ulonglong2)                             \
    X(Yuv444ToRgb_ushort2_BGRA64, Yuv444ToRgbKernel, ushort2, BGRA64, ulonglong2)                             \
    X(YuvToRgbPlanar_uchar2_RGBA32, YuvToRgbPlanarKernel, uchar2, RGBA32, uchar2)                             \
    X(YuvToRgbPlanar_uchar2_BGRA32, YuvToRgbPlanarKernel, uchar2, BGRA32, uchar2)                             \
    X(YuvToRgbPlanar_ushort2_RGBA32, YuvToRgbPlanarKernel, ushort2, RGBA32, uchar2)                           \
    X(YuvToRgbPlanar_ushort2_BGRA32, YuvToRgbPlanarKernel, ushort2, BGRA32, uchar2)                           \
    X(Yuv444ToRgbPlanar_uchar2_RGBA32, Yuv444ToRgbPlanarKernel, uchar2, RGBA32, uchar2)                       \
    X(Yuv444ToRgbPlanar_uchar2_BGRA32, Yuv444ToRgbPlanarKernel, uchar2, BGRA32, uchar2)                       \
    X(Yuv444ToRgbPlanar_ushort2_RGBA32, Yuv444ToRgbPlanarKernel, ushort2, RGBA32, uchar2)                     \
    X(Yuv444ToRgbPlanar_ushort2_BGRA32, Yuv444ToRgbPlanarKernel, ushort2, BGRA32, uchar2)                     \
    X(RgbToYuv_ushort2_BGRA64, RgbToYuvKernel, ushort2, BGRA64, ulonglong2)

enum class ColourKernel {
#define PLA_COLOUR_KERNEL_ID(id, kernel, unit, pixel, written) id,
    PLA_COLOUR_KERNELS(PLA_COLOUR_KERNEL_ID)
#undef PLA_COLOUR_KERNEL_ID
};
constexpr int colourKernelCount = 25;

// Launches one member with the launchers' geometry on the default stream,
// reading whatever matrix is in constant memory (for tests on a GPU).
void launchColourKernel(ColourKernel kernel, unsigned char *source, int sourcePitch, unsigned char *destination,
                        int destinationPitch, int width, int height);
