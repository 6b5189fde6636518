// CudaVideoFrameBuilder: each branch's picture through the fake runtime (which
// fails any write outside device memory, so a store or staging buffer overrun
// fails the test), and the real runtime failing cleanly without a GPU.
#include "CudaTestSupport.h"

#include "cuda/ColourMatrix.h"
#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/PlayerTestSupport.h"

#include <algorithm>
#include <iterator>

extern "C" {
#include <libavutil/hwcontext.h>
}

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

namespace {

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

// The kernel's picture of host YUV420P planes taken as NV12, the chroma
// interleaved in rows of the luma pitch.
std::vector<uint8_t> asNv12(const Planes &yuv)
{
    const int w = yuv.frame.width, h = yuv.frame.height, pitch = yuv.frame.linesize[0];
    Planes same = nv12Planes(w, h, pitch);
    same.planes[0] = yuv.planes[0];
    for (int r = 0; r < (h + 1) / 2; ++r)
        for (int i = 0; i < (w + 1) / 2; ++i)
            for (int k : {1, 2})
                same.planes[1][size_t(r) * pitch + 2 * i + k - 1] = yuv.planes[k][size_t(r) * yuv.frame.linesize[k] + i];
    return nv12ToRgba(same);
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

// One builder, each branch into a store of its own: device NV12 through the
// kernel (the staging buffer follows the size; an odd height has a chroma row
// of its own), host RGB0 row by row without the padding, host YUV420P as the
// same picture in NV12. A picture not of the store's size (the stream changed
// size) is scaled to the store on the processor, as the software converter
// does, not copied or launched at the picture's size. The kernel's own
// arithmetic and coverage are cuda_kernels'.
TEST(CudaConverter, EachBranchGivesItsPictureInTheStore)
{
    FakeCuda cuda;
    const Planes nv12 = nv12Planes(64, 32, 96, 1, &cuda), odd = nv12Planes(33, 5, 64, 2, &cuda);
    const Planes rgb0(16, 8, {{96, 8}}, 3), rgb0b(16, 8, {{96, 8}}, 4), rgb0Larger(32, 16, {{128, 16}}, 5);
    const Planes yuv(64, 32, {{96, 32}, {64, 16}, {72, 16}}, 6), yuvOdd(37, 11, {{96, 11}, {64, 6}, {72, 6}}, 7),
        yuvLarger(32, 16, {{32, 16}, {16, 8}, {16, 8}}, 8);
    const struct {
        AVPixelFormat format;
        const Planes &picture;
        std::vector<uint8_t> expected;
        int width, height; // of the store
    } cases[] = {
        {AV_PIX_FMT_CUDA, nv12, nv12ToRgba(nv12), 64, 32},
        {AV_PIX_FMT_CUDA, odd, nv12ToRgba(odd), 33, 5},
        {AV_PIX_FMT_CUDA, nv12, nv12ToRgba(nv12), 64, 32},
        {AV_PIX_FMT_RGB0, rgb0, rowsOf(rgb0), 16, 8},
        {AV_PIX_FMT_RGB0, rgb0b, rowsOf(rgb0b), 16, 8},
        {AV_PIX_FMT_RGB0, rgb0, rowsOf(rgb0), 16, 8}, // pinned once per address
        {AV_PIX_FMT_YUV420P, yuv, asNv12(yuv), 64, 32},
        {AV_PIX_FMT_YUV420P, yuvOdd, asNv12(yuvOdd), 37, 11},
        {AV_PIX_FMT_RGB0, rgb0Larger, softwareScaled(AV_PIX_FMT_RGB0, rgb0Larger, 16, 8), 16, 8},
        {AV_PIX_FMT_YUV420P, yuvLarger, softwareScaled(AV_PIX_FMT_YUV420P, yuvLarger, 16, 8), 16, 8},
    };
    {
        CudaVideoFrameBuilder builder(cuda.api());
        for (const auto &c : cases) {
            const size_t size = size_t(c.width) * c.height * 4;
            uint8_t *store = cuda.allocate(size);
            builder.convert(&store, int32_t(size), c.width * 4, c.format, AV_PIX_FMT_RGBA, &c.picture.frame);
            EXPECT_TRUE(std::equal(store, store + size, c.expected.begin(), c.expected.end())) << "case " << &c - cases;
        }
    }
    EXPECT_TRUE(cuda.pinned.empty()) << "unpinned with the builder";
    EXPECT_EQ(cuda.alive.size(), 4 + std::size(cases)) << "the test's planes and stores only: staging is freed";
}

// The picture's matrix and range choose the kernel's standard index; untagged
// pictures take BT.709 from 1280 x 720 on and BT.601 below. Device pictures
// with 16-bit samples (P010/P016 frames context) take the 16-bit kernel.
TEST(CudaConverter, ThePicturesMatrixRangeAndDepthReachTheKernel)
{
    FakeCuda cuda;
    AVHWFramesContext deepFrames{};
    deepFrames.sw_format = AV_PIX_FMT_P010;
    AVBufferRef deepContext{};
    deepContext.data = reinterpret_cast<uint8_t *>(&deepFrames);
    const struct {
        AVColorSpace matrix;
        AVColorRange range;
        AVPixelFormat format; // the frame's own
        int width, height, standardIndex;
        bool deep = false;
    } cases[] = {
        {AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 5, true},
        {AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, AV_PIX_FMT_CUDA, 8, 4, kFullRange, true},
        {AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 0},
        {AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 2},
        {AVCOL_SPC_BT470BG, AVCOL_RANGE_JPEG, AV_PIX_FMT_CUDA, 8, 4, 2 + kFullRange},
        {AVCOL_SPC_BT709, AVCOL_RANGE_UNSPECIFIED, AV_PIX_FMT_YUVJ420P, 8, 4, kFullRange},
        {AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 5},
        {AVCOL_SPC_SMPTE240M, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 6},
        {AVCOL_SPC_FCC, AVCOL_RANGE_MPEG, AV_PIX_FMT_CUDA, 8, 4, 7},
        {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AV_PIX_FMT_CUDA, 1278, 718, 2},
        {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AV_PIX_FMT_CUDA, 1280, 8, 0},
        {AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AV_PIX_FMT_CUDA, 8, 720, 0},
    };
    CudaVideoFrameBuilder builder(cuda.api());
    for (const auto &c : cases) {
        Planes picture = nv12Planes(c.width, c.height, c.width * (c.deep ? 2 : 1) + 16, 9, &cuda);
        if (c.deep)
            picture.frame.hw_frames_ctx = &deepContext;
        picture.frame.colorspace = c.matrix;
        picture.frame.color_range = c.range;
        picture.frame.format = c.format;
        const size_t size = size_t(c.width) * c.height * 4;
        uint8_t *store = cuda.allocate(size);
        cuda.launches.clear();
        builder.convert(&store, int32_t(size), c.width * 4, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &picture.frame);
        EXPECT_EQ(cuda.launches, (std::vector<std::pair<int, bool>>{{c.standardIndex, c.deep}}))
            << "case " << &c - cases;
    }
}

TEST(CudaConverter, WithoutAGpuEveryCallFailsCleanlyAndIsReported)
{
    int devices = 0;
    if (cudaGetDeviceCount(&devices) == cudaSuccess && devices > 0)
        GTEST_SKIP() << "a CUDA device is present";
    LogCapture log;
    const Planes device = nv12Planes(64, 32, 64), host(64, 32, {{256, 32}});
    // Never dereferenced: every call of the real runtime fails first.
    uint8_t *dst = reinterpret_cast<uint8_t *>(uintptr_t(0x10000));
    {
        CudaVideoFrameBuilder builder;
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &device.frame);
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &host.frame);
    }
    // Staging, copies, launch, pinning, the last error, unpinning: each its own line.
    const int reports = log.count("Cuda error (");
    EXPECT_GE(reports, 8);
    EXPECT_EQ(log.count(", cudaError"), reports);
    EXPECT_EQ(log.count("), file: src\\cuda\\CudaVideoFrameBuilder, line: "), reports);
}
