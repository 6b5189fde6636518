// Runs the converter's NV12 launcher on the GPU and compares the result byte
// for byte (guard bytes included) with the CPU runner.
// Exit status: 0 all equal, 1 a difference or a CUDA error, 2 no usable GPU.
#include "cuda/CpuKernelRunner.h"
#include "cuda/ColourKernels.h"

#include <cuda_runtime_api.h>

#include <cstdio>
#include <random>
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

// The launcher on the device against the CPU runner over random NV12 at a few
// sizes. The destination rows are width x 4 bytes, so at odd widths every
// other row starts off the written unit's alignment and the unaligned store
// path runs too; guard bytes follow the picture.
int compareAll()
{
    const std::pair<int, int> sizes[] = {{1, 1}, {37, 11}, {320, 240}, {1920, 1080}};
    int failures = 0;
    std::mt19937 random(1);
    for (const auto &[w, h] : sizes) {
        const int srcPitch = w + 9; // odd: the launcher must not assume an aligned pitch
        const size_t srcSize = size_t(srcPitch) * (h + (h + 1) / 2), dstSize = size_t(w) * h * 4 + 16;
        std::vector<uint8_t> src(srcSize), cpu(dstSize, kGuard), gpu(dstSize);
        for (uint8_t &b : src)
            b = uint8_t(random());
        cpuNv12ToRgba32(src.data(), srcPitch, cpu.data(), w * 4, w, h, 0);

        void *dSrc = nullptr, *dDst = nullptr;
        bool good = ok(cudaMalloc(&dSrc, srcSize), "cudaMalloc") && ok(cudaMalloc(&dDst, dstSize), "cudaMalloc") &&
                    ok(cudaMemcpy(dSrc, src.data(), srcSize, cudaMemcpyHostToDevice), "upload") &&
                    ok(cudaMemset(dDst, kGuard, dstSize), "cudaMemset");
        if (good) {
            launchNv12ToRgba32(static_cast<unsigned char *>(dSrc), srcPitch, static_cast<unsigned char *>(dDst),
                               w * 4, w, h, 0);
            good = ok(cudaGetLastError(), "launch") && ok(cudaDeviceSynchronize(), "kernel") &&
                   ok(cudaMemcpy(gpu.data(), dDst, dstSize, cudaMemcpyDeviceToHost), "download");
        }
        size_t differences = 0;
        for (size_t i = 0; good && i < gpu.size(); ++i)
            differences += gpu[i] != cpu[i];
        if (!good || differences) {
            ++failures;
            std::printf("FAIL at %dx%d: %zu bytes differ\n", w, h, differences);
        }
        cudaFree(dSrc);
        cudaFree(dDst);
    }
    std::printf("launchNv12ToRgba32 at %zu sizes: %s\n", std::size(sizes),
                failures ? "DIFFERENCES" : "identical to the CPU runner");
    return failures;
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

    return compareAll() == 0 ? 0 : 1;
}
