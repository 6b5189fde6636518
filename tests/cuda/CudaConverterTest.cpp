// CudaVideoFrameBuilder through a fake runtime (device memory is host memory)
// that fails the test where a GPU would fail; launches run on the CPU.
#include "CpuKernelRunner.h"

#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

// The fake's device memory, by start address, and its pinned host memory.
std::map<uint8_t *, std::vector<uint8_t>> alive;
std::set<void *> pinned;

uint8_t *allocate(size_t size) // also for the test's own planes and stores
{
    std::vector<uint8_t> memory(size);
    uint8_t *p = memory.data();
    alive.emplace(p, std::move(memory));
    return p;
}

bool onDevice(const void *p, size_t size)
{
    auto *byte = static_cast<uint8_t *>(const_cast<void *>(p));
    auto after = alive.upper_bound(byte);
    return after != alive.begin() && byte + size <= std::prev(after)->first + std::prev(after)->second.size();
}

cudaError_t expect(bool good, const char *fault)
{
    if (!good)
        ADD_FAILURE() << fault;
    return good ? cudaSuccess : cudaErrorInvalidValue;
}

// Rows copied into device memory, from the side the kind names.
cudaError_t copy2D(void *dst, size_t dpitch, const void *src, size_t spitch, size_t width, size_t height,
                   cudaMemcpyKind kind)
{
    if (!onDevice(dst, (height - 1) * dpitch + width))
        return expect(false, "a write outside device memory");
    if (kind != (onDevice(src, 1) ? cudaMemcpyDeviceToDevice : cudaMemcpyHostToDevice))
        return expect(false, "a copy naming the wrong kind");
    for (size_t row = 0; row < height; ++row)
        std::memcpy(static_cast<uint8_t *>(dst) + row * dpitch, static_cast<const uint8_t *>(src) + row * spitch,
                    width);
    return cudaSuccess;
}

// The kernel on the CPU; its source: luma rows, then a chroma row per two (and an odd last).
template <class Unit>
void launch(unsigned char *source, int pitch, unsigned char *dst, int dstPitch, int width, int height, int standard)
{
    if (!onDevice(source, size_t(pitch) * (height + (height + 1) / 2)))
        ADD_FAILURE() << "a launch reading outside device memory";
    else if (!onDevice(dst, size_t(height - 1) * dstPitch + width * 4))
        ADD_FAILURE() << "a launch writing outside device memory";
    else
        cpuNv12ToRgba32<Unit>(source, pitch, dst, dstPitch, width, height, standard);
}

const CudaApi fakeApi = {
    [](void **pointer, size_t size) {
        *pointer = allocate(size);
        return cudaSuccess;
    },
    [](void *p) { return expect(!p || alive.erase(static_cast<uint8_t *>(p)), "freeing what is not allocated"); },
    [](void *dst, const void *src, size_t n, cudaMemcpyKind kind) { return copy2D(dst, 0, src, 0, n, 1, kind); },
    [](void *p, size_t, unsigned int) { return expect(pinned.insert(p).second, "host memory pinned twice"); },
    [](void *p) { return expect(pinned.erase(p) == 1, "unpinning memory never pinned"); },
    [] { return cudaSuccess; },
    [](cudaError_t) { return "cudaErrorInvalidValue"; },
    // The texture interop, which the builder never calls.
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    launch<uchar2>,
    copy2D,
    launch<ushort2>,
};

// Random planes of these pitches and rows, tagged BT.709, on the device if asked.
struct Planes {
    Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed,
           bool device = false)
    {
        frame.width = width;
        frame.height = height;
        frame.colorspace = AVCOL_SPC_BT709; // the kernels' standard index 0
        std::mt19937 random(seed);
        for (const auto &[pitch, rows] : pitchAndRows) {
            std::vector<uint8_t> &plane = planes.emplace_back(size_t(pitch) * rows);
            std::generate(plane.begin(), plane.end(), [&] { return uint8_t(random()); });
            const size_t k = planes.size() - 1;
            frame.data[k] = device ? allocate(plane.size()) : plane.data();
            if (device)
                std::memcpy(frame.data[k], plane.data(), plane.size());
            frame.linesize[k] = pitch;
        }
    }
    AVFrame frame{};
    std::vector<std::vector<uint8_t>> planes;
};

Planes nv12Planes(int width, int height, int pitch, unsigned seed)
{
    return Planes(width, height, {{pitch, height}, {pitch, (height + 1) / 2}}, seed, true);
}

// What the kernel makes of NV12 planes of one pitch, as tightly packed RGBA.
std::vector<uint8_t> nv12ToRgba(const Planes &nv12, int standardIndex = 0, bool deepSamples = false)
{
    std::vector<uint8_t> contiguous(nv12.planes[0]);
    contiguous.insert(contiguous.end(), nv12.planes[1].begin(), nv12.planes[1].end());
    const int w = nv12.frame.width, h = nv12.frame.height;
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    (deepSamples ? cpuNv12ToRgba32<ushort2> : cpuNv12ToRgba32<uchar2>)(contiguous.data(), nv12.frame.linesize[0],
                                                                       rgba.data(), w * 4, w, h, standardIndex);
    return rgba;
}

// Host RGB0 rows without their padding.
std::vector<uint8_t> rowsOf(const Planes &p)
{
    std::vector<uint8_t> rows;
    for (int y = 0; y < p.frame.height; ++y) {
        const auto row = p.planes[0].begin() + y * p.frame.linesize[0];
        rows.insert(rows.end(), row, row + p.frame.width * 4);
    }
    return rows;
}

// What the software converter makes of a picture in a store of w x h.
std::vector<uint8_t> softwareScaled(AVPixelFormat format, const Planes &p, int w, int h)
{
    std::vector<uint8_t> store(size_t(w) * h * 4 + SwsVideoFrame::storeSlack);
    uint8_t *data = store.data();
    SwsVideoFrameBuilder().convert(&data, w * h * 4, w * 4, format, AV_PIX_FMT_RGBA, &p.frame);
    store.resize(size_t(w) * h * 4);
    return store;
}

} // namespace

// Device NV12 through the kernel (matrix, range and P010 pick its variant),
// host RGB0 without padding, other sizes scaled as the software converter does.
TEST(CudaConverter, EachBranchGivesItsPictureInTheStore)
{
    AVHWFramesContext p010{};
    p010.sw_format = AV_PIX_FMT_P010;
    AVBufferRef deep{nullptr, reinterpret_cast<uint8_t *>(&p010), sizeof p010};
    Planes nv12 = nv12Planes(64, 32, 96, 1), odd = nv12Planes(33, 5, 64, 2);
    Planes bt2020 = nv12Planes(8, 4, 32, 3), fullBt601 = nv12Planes(8, 4, 24, 3);
    bt2020.frame.colorspace = AVCOL_SPC_BT2020_NCL;
    bt2020.frame.hw_frames_ctx = &deep;
    fullBt601.frame.colorspace = AVCOL_SPC_SMPTE170M;
    fullBt601.frame.color_range = AVCOL_RANGE_JPEG;
    const Planes rgb0(16, 8, {{96, 8}}, 4), rgb0Larger(32, 16, {{128, 16}}, 5);
    const Planes yuvLarger(32, 16, {{32, 16}, {16, 8}, {16, 8}}, 7);
    const struct {
        AVPixelFormat format;
        const Planes &picture;
        std::vector<uint8_t> expected;
        int width, height; // of the store
    } cases[] = {
        {AV_PIX_FMT_CUDA, nv12, nv12ToRgba(nv12), 64, 32},
        {AV_PIX_FMT_CUDA, odd, nv12ToRgba(odd), 33, 5},
        {AV_PIX_FMT_CUDA, nv12, nv12ToRgba(nv12), 64, 32},
        {AV_PIX_FMT_CUDA, bt2020, nv12ToRgba(bt2020, 5, true), 8, 4},
        {AV_PIX_FMT_CUDA, fullBt601, nv12ToRgba(fullBt601, 2 + kFullRange), 8, 4},
        {AV_PIX_FMT_RGB0, rgb0, rowsOf(rgb0), 16, 8},
        {AV_PIX_FMT_RGB0, rgb0, rowsOf(rgb0), 16, 8}, // pinned once per address
        {AV_PIX_FMT_RGB0, rgb0Larger, softwareScaled(AV_PIX_FMT_RGB0, rgb0Larger, 16, 8), 16, 8},
        {AV_PIX_FMT_YUV420P, yuvLarger, softwareScaled(AV_PIX_FMT_YUV420P, yuvLarger, 16, 8), 16, 8},
    };
    {
        CudaVideoFrameBuilder builder(fakeApi);
        for (const auto &c : cases) {
            uint8_t *store = allocate(c.expected.size());
            builder.convert(&store, int32_t(c.expected.size()), c.width * 4, c.format, AV_PIX_FMT_RGBA,
                            &c.picture.frame);
            EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), store)) << "case " << &c - cases;
        }
    }
    EXPECT_TRUE(pinned.empty()) << "unpinned with the builder";
    EXPECT_EQ(alive.size(), 8 + std::size(cases)) << "the test's planes and stores only: staging is freed";
}
