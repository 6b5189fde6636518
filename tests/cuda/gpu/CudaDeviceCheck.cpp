// Runs every colour kernel on the GPU and compares the result byte for byte
// (guard bytes included) with the CPU runner, then times the NV12 launcher
// against a device-to-device copy of the picture's bytes.
// Exit status: 0 all equal, 1 a difference or a CUDA error, 2 no usable GPU.
#include "cuda/CpuKernelRunner.h"

#include <cuda_runtime_api.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;

bool ok(cudaError_t status, const char *what)
{
    if (status == cudaSuccess)
        return true;
    std::printf("CUDA error in %s: %d %s\n", what, int(status), cudaGetErrorName(status));
    return false;
}

struct Shape {
    int srcPitch;
    size_t srcSize;
    int dstPitch;
    size_t dstSize;
};

// Buffers for one member at one size; the destination pitch is deliberately
// not a multiple of the written unit for odd widths, to take the unaligned path.
Shape shapeOf(ColourKernel kernel, int w, int h)
{
    const std::string name = [kernel] {
        switch (kernel) {
#define PLA_NAME(id, k, unit, pixel, written)                                                                     \
    case ColourKernel::id:                                                                                        \
        return std::string(#id);
            PLA_COLOUR_KERNELS(PLA_NAME)
#undef PLA_NAME
        }
        return std::string();
    }();
    const int chromaRows = (h + 1) / 2;
    if (name.rfind("RgbToYuv", 0) == 0) {
        const int dstPitch = 2 * (w + 1) + 6;
        return {8 * w + 8, size_t(8 * w + 8) * h, dstPitch, size_t(dstPitch) * (h + chromaRows) + 16};
    }
    const int sample = name.find("ushort2") != std::string::npos ? 2 : 1;
    const bool is444 = name.find("444") != std::string::npos;
    const int srcPitch = sample * (w + 1) + 8;
    const size_t srcSize = size_t(srcPitch) * (is444 ? 3 * h : h + chromaRows);
    if (name.find("Planar") != std::string::npos)
        return {srcPitch, srcSize, w + 3, size_t(w + 3) * h * 3 + 16};
    const int bytes = name.find("64") != std::string::npos ? 8 : 4;
    return {srcPitch, srcSize, bytes * w, size_t(bytes) * w * h + 16};
}

int compareAll()
{
    const std::array<float, 9> yuvToRgb = yuvToRgbMatrix(0), rgbToYuv = rgbToYuvMatrix(0);
    buildYuvToRgbMatrix(0);
    buildRgbToYuvMatrix(0);
    const std::pair<int, int> sizes[] = {{1, 1}, {37, 11}, {320, 240}, {1920, 1080}};
    int failures = 0;
    std::mt19937 random(1);
    for (int k = 0; k < colourKernelCount; ++k) {
        const ColourKernel kernel = ColourKernel(k);
        for (const auto &[w, h] : sizes) {
            const Shape s = shapeOf(kernel, w, h);
            std::vector<uint8_t> src(s.srcSize), cpu(s.dstSize, kGuard), gpu(s.dstSize);
            for (uint8_t &b : src)
                b = uint8_t(random());
            cpuLaunchColourKernel(kernel, yuvToRgb, rgbToYuv, src.data(), s.srcPitch, cpu.data(), s.dstPitch, w, h);

            void *dSrc = nullptr, *dDst = nullptr;
            bool good = ok(cudaMalloc(&dSrc, s.srcSize), "cudaMalloc") && ok(cudaMalloc(&dDst, s.dstSize), "cudaMalloc") &&
                        ok(cudaMemcpy(dSrc, src.data(), s.srcSize, cudaMemcpyHostToDevice), "upload") &&
                        ok(cudaMemset(dDst, kGuard, s.dstSize), "cudaMemset");
            if (good) {
                launchColourKernel(kernel, static_cast<unsigned char *>(dSrc), s.srcPitch,
                                   static_cast<unsigned char *>(dDst), s.dstPitch, w, h);
                good = ok(cudaGetLastError(), "launch") && ok(cudaDeviceSynchronize(), "kernel") &&
                       ok(cudaMemcpy(gpu.data(), dDst, s.dstSize, cudaMemcpyDeviceToHost), "download");
            }
            size_t differences = 0;
            for (size_t i = 0; good && i < gpu.size(); ++i)
                differences += gpu[i] != cpu[i];
            if (!good || differences) {
                ++failures;
                std::printf("FAIL kernel %d at %dx%d: %zu bytes differ\n", k, w, h, differences);
            }
            cudaFree(dSrc);
            cudaFree(dDst);
        }
    }
    std::printf("%d kernels x %zu sizes: %s\n", colourKernelCount, std::size(sizes),
                failures ? "DIFFERENCES" : "identical to the CPU runner");
    return failures;
}

// Milliseconds per call of `work`, averaged over `count` calls after a warm-up.
template <class Work>
float timeIt(int count, Work work)
{
    cudaEvent_t start, stop;
    cudaEventCreate(&start);
    cudaEventCreate(&stop);
    work();
    cudaEventRecord(start, 0);
    for (int i = 0; i < count; ++i)
        work();
    cudaEventRecord(stop, 0);
    cudaEventSynchronize(stop);
    float ms = 0;
    cudaEventElapsedTime(&ms, start, stop);
    cudaEventDestroy(start);
    cudaEventDestroy(stop);
    return ms / count;
}

bool timeLaunches()
{
    for (auto [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
        const size_t srcSize = size_t(w) * h * 3 / 2, dstSize = size_t(w) * h * 4;
        void *src = nullptr, *dst = nullptr, *copy = nullptr;
        if (!ok(cudaMalloc(&src, srcSize), "cudaMalloc") || !ok(cudaMalloc(&dst, dstSize), "cudaMalloc") ||
            !ok(cudaMalloc(&copy, dstSize), "cudaMalloc"))
            return false;
        cudaMemset(src, 0x80, srcSize);
        const float kernel = timeIt(100, [&] {
            launchNv12ToRgba32(static_cast<unsigned char *>(src), w, static_cast<unsigned char *>(dst), w * 4, w, h, 0);
        });
        const float memcpy = timeIt(100, [&] { cudaMemcpy(copy, dst, dstSize, cudaMemcpyDeviceToDevice); });
        const bool good = ok(cudaGetLastError(), "timing");
        std::printf("%dx%d: launchNv12ToRgba32 %.3f ms, cudaMemcpy D2D of the %zu RGBA bytes %.3f ms, ratio %.2f\n", w,
                    h, kernel, dstSize, memcpy, memcpy > 0 ? kernel / memcpy : 0.0f);
        cudaFree(src);
        cudaFree(dst);
        cudaFree(copy);
        if (!good)
            return false;
    }
    return true;
}

} // namespace

int main()
{
    int count = 0;
    const cudaError_t status = cudaGetDeviceCount(&count);
    if (status != cudaSuccess || count == 0) {
        std::printf("No usable CUDA device: %s\n", status != cudaSuccess ? cudaGetErrorName(status) : "none found");
        return 2;
    }
    cudaDeviceProp prop{};
    cudaGetDeviceProperties(&prop, 0);
    std::printf("Device 0: %s, compute capability %d.%d\n", prop.name, prop.major, prop.minor);

    const int failures = compareAll();
    const bool timed = timeLaunches();
    return failures == 0 && timed ? 0 : 1;
}
