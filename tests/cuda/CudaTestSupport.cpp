#include "CudaTestSupport.h"

#include "CpuKernelRunner.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <utility>

namespace {

FakeCuda *fake = nullptr; // the table is only reachable through a live FakeCuda

bool onDevice(const void *p, size_t size)
{
    const auto *byte = static_cast<const uint8_t *>(p);
    auto after = fake->alive.upper_bound(const_cast<uint8_t *>(byte));
    return after != fake->alive.begin() && byte + size <= std::prev(after)->first + std::prev(after)->second.size();
}

cudaError_t expect(bool good, const char *fault)
{
    if (!good)
        ADD_FAILURE() << fault;
    return good ? cudaSuccess : cudaErrorInvalidValue;
}

// A device write of size bytes at dst, copied from src by the given kind.
cudaError_t deviceWrite(const void *dst, size_t size, const void *src, cudaMemcpyKind kind)
{
    if (!onDevice(dst, size))
        return expect(false, "a write outside device memory");
    return expect(!src || kind == (onDevice(src, 1) ? cudaMemcpyDeviceToDevice : cudaMemcpyHostToDevice),
                  "a copy naming the wrong kind");
}

cudaError_t copy2D(void *dst, size_t dpitch, const void *src, size_t spitch, size_t width, size_t height,
                   cudaMemcpyKind kind)
{
    const cudaError_t status = deviceWrite(dst, (height - 1) * dpitch + width, src, kind);
    for (size_t row = 0; status == cudaSuccess && row < height; ++row)
        std::memcpy(static_cast<uint8_t *>(dst) + row * dpitch, static_cast<const uint8_t *>(src) + row * spitch, width);
    return status;
}

// A launch of the kernel for Unit samples, run on the CPU.
template <class Unit>
void launch(unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch, int width,
            int height, int standardIndex)
{
    if (expect(onDevice(source, 1), "a launch reading host memory") == cudaSuccess &&
        deviceWrite(destination, size_t(height - 1) * destinationPitch + width * 4, nullptr, {}) == cudaSuccess) {
        fake->launches.emplace_back(standardIndex, sizeof(Unit) > 2);
        cpuNv12ToRgba32<Unit>(source, sourcePitch, destination, destinationPitch, width, height, standardIndex);
    }
}

const CudaApi fakeApi = {
    [](void **pointer, size_t size) {
        *pointer = fake->allocate(size);
        return cudaSuccess;
    },
    [](void *p) { return expect(!p || fake->alive.erase(static_cast<uint8_t *>(p)), "freeing what is not allocated"); },
    [](void *dst, const void *src, size_t count, cudaMemcpyKind kind) { return copy2D(dst, 0, src, 0, count, 1, kind); },
    [](void *p, size_t, unsigned int) { return expect(fake->pinned.insert(p).second, "host memory pinned twice"); },
    [](void *p) { return expect(fake->pinned.erase(p) == 1, "unpinning memory never pinned"); },
    [] { return cudaSuccess; },
    [](cudaError_t) { return "cudaErrorInvalidValue"; },
    [](cudaGraphicsResource_t *resource, unsigned int image, unsigned int, unsigned int) {
        fake->texture = image;
        ++fake->registrations;
        *resource = reinterpret_cast<cudaGraphicsResource_t>(&fake->texture);
        return cudaSuccess;
    },
    [](cudaGraphicsResource_t) { return expect(fake->registrations-- > 0, "unregistering what is not registered"); },
    [](int, cudaGraphicsResource_t *, cudaStream_t) { return expect(!std::exchange(fake->mapped, true), "mapped twice"); },
    [](int, cudaGraphicsResource_t *, cudaStream_t) { return expect(std::exchange(fake->mapped, false), "not mapped"); },
    [](cudaArray_t *array, cudaGraphicsResource_t, unsigned int, unsigned int) {
        *array = reinterpret_cast<cudaArray_t>(&fake->texture);
        return expect(fake->mapped, "array of an unmapped texture");
    },
    [](cudaArray_t, size_t wOffset, size_t hOffset, const void *src, size_t spitch, size_t width, size_t height,
       cudaMemcpyKind kind) {
        if (!fake->mapped || !onDevice(src, spitch * height) || kind != cudaMemcpyDeviceToDevice)
            return expect(false, "interop copy from outside a mapped texture's reach");
        // Done by GL: the rows into the registered texture.
        glBindTexture(GL_TEXTURE_2D, fake->texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, GLint(wOffset / 4), GLint(hOffset), GLsizei(width / 4), GLsizei(height),
                        GL_RGBA, GL_UNSIGNED_BYTE, src);
        return cudaSuccess;
    },
    launch<uchar2>,
    copy2D,
    launch<ushort2>,
};

} // namespace

FakeCuda::FakeCuda()
{
    fake = this;
}

const CudaApi &FakeCuda::api() const
{
    return fakeApi;
}

uint8_t *FakeCuda::allocate(size_t size)
{
    std::vector<uint8_t> memory(size);
    uint8_t *p = memory.data();
    alive.emplace(p, std::move(memory));
    return p;
}

Planes::Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed,
               FakeCuda *device)
{
    frame.width = width;
    frame.height = height;
    frame.colorspace = AVCOL_SPC_BT709; // the kernels' standard index 0
    std::mt19937 random(seed);
    for (const auto &[pitch, rows] : pitchAndRows) {
        std::vector<uint8_t> &plane = planes.emplace_back(size_t(pitch) * rows);
        std::generate(plane.begin(), plane.end(), [&] { return uint8_t(random()); });
        const size_t k = planes.size() - 1;
        frame.data[k] = device ? device->allocate(plane.size()) : plane.data();
        if (device)
            std::memcpy(frame.data[k], plane.data(), plane.size());
        frame.linesize[k] = pitch;
    }
}

Planes nv12Planes(int width, int height, int pitch, unsigned seed, FakeCuda *device)
{
    return Planes(width, height, {{pitch, height}, {pitch, (height + 1) / 2}}, seed, device);
}

std::vector<uint8_t> nv12ToRgba(const Planes &nv12)
{
    std::vector<uint8_t> contiguous(nv12.planes[0]);
    contiguous.insert(contiguous.end(), nv12.planes[1].begin(), nv12.planes[1].end());
    const int w = nv12.frame.width, h = nv12.frame.height;
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    cpuNv12ToRgba32(contiguous.data(), nv12.frame.linesize[0], rgba.data(), w * 4, w, h, 0);
    return rgba;
}
