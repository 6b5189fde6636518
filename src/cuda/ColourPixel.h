// Per-block colour conversion shared by the CUDA kernels and the host: every
// function here is __host__ __device__, so the CPU can run exactly the
// arithmetic and the addressing a GPU thread runs. No state; callers pass the
// 3x3 matrix (row-major, as in constant memory).
//
// Arithmetic (the same for every kernel):
// - samples are brought to the 8-bit code scale as floats: 8-bit YUV as is,
//   16-bit YUV divided by 256 (MSB-aligned, P016), 16-bit RGB divided by 257;
// - YUV to RGB subtracts the black level (16, or 0 for full range) from Y and
//   the midpoint 128 from Cb and Cr before the matrix; RGB to YUV adds them
//   after it (limited range only);
// - the matrices scale every column by the luma range (255 / 219), while
//   limited-range chroma spans 224 codes: chroma is multiplied by 219 / 224
//   before the matrix (224 / 219 after it, towards YUV), which makes the
//   product the standard limited-range conversion; full range needs neither;
// - the result is clamped to [0, max] of the output depth (255 or 65535, 16-bit
//   RGB = 8-bit x 257, 16-bit YUV = 8-bit x 256), then truncated after adding
//   1/16 of a code: like FFmpeg's fixed-point converters, so both converters
//   give nearly the same picture, while a float result a hair below an
//   integer (white) still reaches it;
// - alpha is written as the output maximum;
// - every product and sum is rounded to float separately (no fused
//   multiply-add), so host and device agree bit for bit.
#pragma once

#include <cstdint>
#include <cstring>

#include <vector_types.h>

#ifdef __CUDACC__
#define PLA_HOST_DEVICE __host__ __device__
#else
#define PLA_HOST_DEVICE
#endif

// Output pixel types: their names give the byte order in memory; the 64-bit
// ones hold 16-bit channels in the same orders.
struct RGBA32 {
    static constexpr int channelBytes = 1;
    static constexpr bool blueFirst = false;
};
struct BGRA32 {
    static constexpr int channelBytes = 1;
    static constexpr bool blueFirst = true;
};
struct RGBA64 {
    static constexpr int channelBytes = 2;
    static constexpr bool blueFirst = false;
};
struct BGRA64 {
    static constexpr int channelBytes = 2;
    static constexpr bool blueFirst = true;
};

namespace colour {

// Products and sums rounded one at a time; nvcc would otherwise contract them
// into FMAs on the device and the CPU could no longer reproduce the result.
PLA_HOST_DEVICE inline float mul(float a, float b)
{
#ifdef __CUDA_ARCH__
    return __fmul_rn(a, b);
#else
    return a * b;
#endif
}

PLA_HOST_DEVICE inline float add(float a, float b)
{
#ifdef __CUDA_ARCH__
    return __fadd_rn(a, b);
#else
    return a + b;
#endif
}

PLA_HOST_DEVICE inline float dot3(const float *row, float a, float b, float c)
{
    return add(add(mul(row[0], a), mul(row[1], b)), mul(row[2], c));
}

// Limited-range chroma (224 codes) brought to the luma range (219 codes).
constexpr float kChromaToLuma = 219.0f / 224.0f;
constexpr float kLumaToChroma = 224.0f / 219.0f;

// Clamp to [0, maximum], then truncate with a margin of 1/16 code.
PLA_HOST_DEVICE inline unsigned int quantise(float value, float maximum)
{
    // Written so that NaN ends up 0 as well.
    float v = value > 0.0f ? value : 0.0f;
    v = v < maximum ? v : maximum;
    return static_cast<unsigned int>(add(v, 1.0f / 16.0f));
}

// Loads and stores of a vector unit: one access on the device when the
// address allows it, byte copies otherwise (odd pitches); memcpy on the host.
template <class T>
PLA_HOST_DEVICE inline T load(const unsigned char *p)
{
    T value;
#ifdef __CUDA_ARCH__
    if ((reinterpret_cast<uintptr_t>(p) & (alignof(T) - 1)) == 0)
        return *reinterpret_cast<const T *>(p);
    unsigned char *bytes = reinterpret_cast<unsigned char *>(&value);
    for (unsigned i = 0; i < sizeof(T); ++i)
        bytes[i] = p[i];
#else
    std::memcpy(&value, p, sizeof(T));
#endif
    return value;
}

template <class T>
PLA_HOST_DEVICE inline void store(unsigned char *p, const T &value)
{
#ifdef __CUDA_ARCH__
    if ((reinterpret_cast<uintptr_t>(p) & (alignof(T) - 1)) == 0) {
        *reinterpret_cast<T *>(p) = value;
        return;
    }
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&value);
    for (unsigned i = 0; i < sizeof(T); ++i)
        p[i] = bytes[i];
#else
    std::memcpy(p, &value, sizeof(T));
#endif
}

// Source samples of one bit depth, told apart by the source unit.
template <class Unit> struct Samples;
template <> struct Samples<uchar2> {
    static constexpr int bytes = 1;
    PLA_HOST_DEVICE static float at(const unsigned char *p) { return static_cast<float>(p[0]); }
};
template <> struct Samples<ushort2> {
    static constexpr int bytes = 2;
    PLA_HOST_DEVICE static float at(const unsigned char *p)
    {
        // 1/256 is exact: the division only moves the exponent.
        return mul(static_cast<float>(load<unsigned short>(p)), 1.0f / 256.0f);
    }
};

struct Rgb {
    float r, g, b;
};

// One pixel, Y/Cb/Cr in 8-bit code scale, to RGB in 8-bit code scale (not
// clamped). m holds the matrix, then the black level and the chroma factor
// (16 and kChromaToLuma for limited range, 0 and 1 for full range).
PLA_HOST_DEVICE inline Rgb yuvToRgb(const float *m, float y, float cb, float cr)
{
    const float ys = add(y, -m[9]);
    const float us = mul(add(cb, -128.0f), m[10]);
    const float vs = mul(add(cr, -128.0f), m[10]);
    return Rgb{dot3(m, ys, us, vs), dot3(m + 3, ys, us, vs), dot3(m + 6, ys, us, vs)};
}

// One packed pixel of the output type, in the low bits of the result.
template <class Pixel>
PLA_HOST_DEVICE inline unsigned long long packPixel(const Rgb &c)
{
    if constexpr (Pixel::channelBytes == 1) {
        const unsigned long long r = quantise(c.r, 255.0f), g = quantise(c.g, 255.0f), b = quantise(c.b, 255.0f);
        return (Pixel::blueFirst ? b | g << 8 | r << 16 : r | g << 8 | b << 16) | 255ull << 24;
    }
    const unsigned long long r = quantise(mul(c.r, 257.0f), 65535.0f);
    const unsigned long long g = quantise(mul(c.g, 257.0f), 65535.0f);
    const unsigned long long b = quantise(mul(c.b, 257.0f), 65535.0f);
    return (Pixel::blueFirst ? b | g << 16 | r << 32 : r | g << 16 | b << 32) | 65535ull << 48;
}

// Two adjacent pixels as the written unit (uint2 or ulonglong2); only the
// first when the second lies beyond the last column.
template <class Pixel, class OutUnit>
PLA_HOST_DEVICE inline void storePixels(unsigned char *p, const Rgb &first, const Rgb &second, bool both)
{
    if constexpr (Pixel::channelBytes == 1) {
        OutUnit unit;
        unit.x = static_cast<unsigned int>(packPixel<Pixel>(first));
        unit.y = static_cast<unsigned int>(packPixel<Pixel>(second));
        if (both)
            store(p, unit);
        else
            store(p, unit.x);
    } else {
        OutUnit unit;
        unit.x = packPixel<Pixel>(first);
        unit.y = packPixel<Pixel>(second);
        if (both)
            store(p, unit);
        else
            store(p, unit.x);
    }
}

// Planar output: plane k holds channel k of the pixel type's order (R, G, B or
// B, G, R), each `height` rows of dstPitch bytes, one after another; no alpha.
template <class Pixel>
PLA_HOST_DEVICE inline void storePlanar(unsigned char *dst, int dstPitch, int height, int x, int y,
                                        const Rgb &first, const Rgb &second, bool both)
{
    const float a[3] = {Pixel::blueFirst ? first.b : first.r, first.g, Pixel::blueFirst ? first.r : first.b};
    const float b[3] = {Pixel::blueFirst ? second.b : second.r, second.g,
                        Pixel::blueFirst ? second.r : second.b};
    for (int k = 0; k < 3; ++k) {
        unsigned char *p = dst + (static_cast<long long>(k) * height + y) * dstPitch + x;
        uchar2 unit;
        unit.x = static_cast<unsigned char>(quantise(a[k], 255.0f));
        unit.y = static_cast<unsigned char>(quantise(b[k], 255.0f));
        if (both)
            store(p, unit);
        else
            p[0] = unit.x;
    }
}

// The 2x2 block origin of one thread: each thread converts the pixels
// (x, y) .. (x + 1, y + 1).
struct BlockOrigin {
    int x, y;
};
PLA_HOST_DEVICE inline BlockOrigin blockOrigin(unsigned blockX, unsigned blockY, unsigned blockDimX,
                                               unsigned blockDimY, unsigned threadX, unsigned threadY)
{
    return BlockOrigin{static_cast<int>((blockX * blockDimX + threadX) * 2),
                       static_cast<int>((blockY * blockDimY + threadY) * 2)};
}

// Where the source samples of pixel (x, y) are.
enum class Layout {
    SemiPlanar420, // luma rows, then interleaved Cb/Cr rows (height + 1) / 2, same pitch
    Planar444,     // Y, Cb, Cr planes of height rows each, same pitch
};

template <class SrcUnit, Layout L>
PLA_HOST_DEVICE inline Rgb sourcePixel(const unsigned char *src, int pitch, int height, int x, int y,
                                       const float *m)
{
    constexpr int n = Samples<SrcUnit>::bytes;
    const long long row = static_cast<long long>(y) * pitch + static_cast<long long>(x) * n;
    const float luma = Samples<SrcUnit>::at(src + row);
    const long long plane = static_cast<long long>(pitch) * height;
    if constexpr (L == Layout::SemiPlanar420) {
        const unsigned char *pair =
            src + plane + static_cast<long long>(y / 2) * pitch + static_cast<long long>(x & ~1) * n;
        return yuvToRgb(m, luma, Samples<SrcUnit>::at(pair), Samples<SrcUnit>::at(pair + n));
    }
    return yuvToRgb(m, luma, Samples<SrcUnit>::at(src + plane + row), Samples<SrcUnit>::at(src + 2 * plane + row));
}

// One thread's work for the YUV-to-RGB kernels: the 2x2 block at (x, y),
// clipped to width x height. Threads wholly outside write nothing.
template <class SrcUnit, class Pixel, class OutUnit, Layout L, bool PlanarOut>
PLA_HOST_DEVICE inline void yuvToRgbBlock(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch,
                                          int width, int height, int x, int y, const float *m)
{
    if (x >= width || y >= height)
        return;
    const bool both = x + 1 < width;
    for (int row = y; row < y + 2 && row < height; ++row) {
        const Rgb first = sourcePixel<SrcUnit, L>(src, srcPitch, height, x, row, m);
        const Rgb second = both ? sourcePixel<SrcUnit, L>(src, srcPitch, height, x + 1, row, m) : first;
        if constexpr (PlanarOut) {
            storePlanar<Pixel>(dst, dstPitch, height, x, row, first, second, both);
        } else {
            unsigned char *p =
                dst + static_cast<long long>(row) * dstPitch + static_cast<long long>(x) * 4 * Pixel::channelBytes;
            storePixels<Pixel, OutUnit>(p, first, second, both);
        }
    }
}

// One 16-bit channel of a packed 64-bit pixel, in 8-bit code scale.
template <class Pixel>
PLA_HOST_DEVICE inline Rgb unpack64(unsigned long long v)
{
    const float lo = mul(static_cast<float>(v & 0xffff), 1.0f / 257.0f);
    const float mid = mul(static_cast<float>(v >> 16 & 0xffff), 1.0f / 257.0f);
    const float hi = mul(static_cast<float>(v >> 32 & 0xffff), 1.0f / 257.0f);
    return Pixel::blueFirst ? Rgb{hi, mid, lo} : Rgb{lo, mid, hi};
}

// One thread's work for RgbToYuvKernel: four luma samples of the 2x2 block
// at (x, y) into the luma plane, and one Cb/Cr pair, made from the mean of the
// block's pixels inside the picture, into the chroma plane (P016 layout,
// chroma rows after `height` luma rows, same pitch).
template <class DstUnit, class Pixel, class SrcUnit>
PLA_HOST_DEVICE inline void rgbToYuvBlock(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch,
                                          int width, int height, int x, int y, const float *m)
{
    if (x >= width || y >= height)
        return;
    const bool both = x + 1 < width;
    Rgb sum{0.0f, 0.0f, 0.0f};
    float count = 0.0f;
    for (int row = y; row < y + 2 && row < height; ++row) {
        const unsigned char *p = src + static_cast<long long>(row) * srcPitch + static_cast<long long>(x) * 8;
        Rgb c[2];
        if (both) {
            const SrcUnit unit = load<SrcUnit>(p);
            c[0] = unpack64<Pixel>(unit.x);
            c[1] = unpack64<Pixel>(unit.y);
        } else {
            c[0] = c[1] = unpack64<Pixel>(load<unsigned long long>(p));
        }
        DstUnit luma;
        luma.x = static_cast<unsigned short>(
            quantise(mul(add(dot3(m, c[0].r, c[0].g, c[0].b), 16.0f), 256.0f), 65535.0f));
        luma.y = static_cast<unsigned short>(
            quantise(mul(add(dot3(m, c[1].r, c[1].g, c[1].b), 16.0f), 256.0f), 65535.0f));
        unsigned char *out = dst + static_cast<long long>(row) * dstPitch + static_cast<long long>(x) * 2;
        if (both)
            store(out, luma);
        else
            store(out, luma.x);
        for (int i = 0; i < (both ? 2 : 1); ++i) {
            sum = Rgb{add(sum.r, c[i].r), add(sum.g, c[i].g), add(sum.b, c[i].b)};
            count = add(count, 1.0f);
        }
    }
    const float scale = 1.0f / count; // 1, 1/2 or 1/4: exact
    const Rgb mean{mul(sum.r, scale), mul(sum.g, scale), mul(sum.b, scale)};
    DstUnit chroma;
    chroma.x = static_cast<unsigned short>(
        quantise(mul(add(mul(dot3(m + 3, mean.r, mean.g, mean.b), kLumaToChroma), 128.0f), 256.0f), 65535.0f));
    chroma.y = static_cast<unsigned short>(
        quantise(mul(add(mul(dot3(m + 6, mean.r, mean.g, mean.b), kLumaToChroma), 128.0f), 256.0f), 65535.0f));
    store(dst + static_cast<long long>(dstPitch) * height + static_cast<long long>(y / 2) * dstPitch +
              static_cast<long long>(x) * 2,
          chroma);
}

// What one thread of each kernel template does at its block origin (x, y),
// named after the kernel: the kernels and the CPU runner both call these.
// `inverse` tells which matrix the member reads (matRgb2Yuv when true).
#define PLA_COLOUR_BODY(name, layout, planar)                                                                   \
    template <class SrcUnit, class Pixel, class OutUnit> struct name##Body {                                      \
        static constexpr bool inverse = false;                                                                    \
        PLA_HOST_DEVICE static void run(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch, \
                                        int width, int height, int x, int y, const float *m)                     \
        {                                                                                                         \
            yuvToRgbBlock<SrcUnit, Pixel, OutUnit, layout, planar>(src, srcPitch, dst, dstPitch, width, height,  \
                                                                   x, y, m);                                      \
        }                                                                                                         \
    };
PLA_COLOUR_BODY(YuvToRgbKernel, Layout::SemiPlanar420, false)
PLA_COLOUR_BODY(Yuv444ToRgbKernel, Layout::Planar444, false)
PLA_COLOUR_BODY(YuvToRgbPlanarKernel, Layout::SemiPlanar420, true)
PLA_COLOUR_BODY(Yuv444ToRgbPlanarKernel, Layout::Planar444, true)
#undef PLA_COLOUR_BODY

template <class DstUnit, class Pixel, class SrcUnit> struct RgbToYuvKernelBody {
    static constexpr bool inverse = true;
    PLA_HOST_DEVICE static void run(const unsigned char *src, int srcPitch, unsigned char *dst, int dstPitch,
                                    int width, int height, int x, int y, const float *m)
    {
        rgbToYuvBlock<DstUnit, Pixel, SrcUnit>(src, srcPitch, dst, dstPitch, width, height, x, y, m);
    }
};

} // namespace colour
