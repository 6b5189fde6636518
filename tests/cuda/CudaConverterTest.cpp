// CudaVideoFrameBuilder: each branch's picture through
// the fake runtime (which fails any write outside device memory, so a store
// or staging buffer overrun fails the test), and the real runtime failing
// cleanly on a machine without a GPU.
#include "CudaTestSupport.h"

#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/PlayerTestSupport.h"

#include <algorithm>
#include <tuple>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

namespace {

// Converts into a store of the frame's own size made on the fake device.
std::vector<uint8_t> convert(FakeCuda &cuda, CudaVideoFrameBuilder &builder, AVPixelFormat format,
                             const AVFrame &frame)
{
    const size_t size = size_t(frame.width) * frame.height * 4;
    uint8_t *store = cuda.allocate(size);
    builder.convert(&store, int32_t(size), frame.width * 4, format, AV_PIX_FMT_RGBA, &frame);
    return std::vector<uint8_t>(store, store + size);
}

} // namespace

TEST(CudaConverter, DeviceNv12GivesTheKernelsPictureAtEverySize)
{
    FakeCuda cuda;
    {
        CudaVideoFrameBuilder builder(cuda.api());
        // The staging buffer follows the size; an odd height has a chroma row of its own.
        for (auto [w, h, pitch] : {std::tuple{1920, 1080, 2048}, {33, 5, 64}, {1920, 1080, 2048}}) {
            const Planes picture = nv12Planes(w, h, pitch, unsigned(w), &cuda);
            EXPECT_TRUE(convert(cuda, builder, AV_PIX_FMT_CUDA, picture.frame) == nv12ToRgba(picture)) << w;
        }
    }
    EXPECT_EQ(cuda.alive.size(), 9u) << "the test's planes and stores only: staging is freed, also when replaced";
}

TEST(CudaConverter, HostRgb0IsCopiedRowByRowAndPinnedOncePerAddress)
{
    FakeCuda cuda;
    const int w = 16, h = 8, pitch = w * 4 + 32; // rows padded, as decoders often leave them
    const Planes a(w, h, {{pitch, h}}, 1), b(w, h, {{pitch, h}}, 2);
    auto rowsOf = [&](const Planes &p) {
        std::vector<uint8_t> rows;
        for (int y = 0; y < h; ++y)
            rows.insert(rows.end(), p.planes[0].begin() + y * pitch, p.planes[0].begin() + y * pitch + w * 4);
        return rows;
    };
    {
        CudaVideoFrameBuilder builder(cuda.api());
        EXPECT_EQ(convert(cuda, builder, AV_PIX_FMT_RGB0, a.frame), rowsOf(a)) << "the padding is skipped";
        EXPECT_EQ(convert(cuda, builder, AV_PIX_FMT_RGB0, b.frame), rowsOf(b));
        EXPECT_EQ(convert(cuda, builder, AV_PIX_FMT_RGB0, a.frame), rowsOf(a));
        EXPECT_EQ(cuda.pinned.size(), 2u);
    }
    EXPECT_TRUE(cuda.pinned.empty()) << "unpinned with the builder";
}

TEST(CudaConverter, HostYuv420pGivesThePictureOfTheSameNv12)
{
    FakeCuda cuda;
    for (auto [w, h] : {std::pair{64, 32}, std::pair{37, 11}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const int pitch = 96, rows = (h + 1) / 2;
        const Planes yuv(w, h, {{pitch, h}, {64, rows}, {72, rows}}, unsigned(w));
        // The same picture as NV12, the chroma interleaved in rows of the luma pitch.
        Planes same = nv12Planes(w, h, pitch);
        same.planes[0] = yuv.planes[0];
        for (int r = 0; r < rows; ++r)
            for (int i = 0; i < (w + 1) / 2; ++i) {
                same.planes[1][size_t(r) * pitch + 2 * i] = yuv.planes[1][size_t(r) * 64 + i];
                same.planes[1][size_t(r) * pitch + 2 * i + 1] = yuv.planes[2][size_t(r) * 72 + i];
            }
        CudaVideoFrameBuilder builder(cuda.api());
        EXPECT_TRUE(convert(cuda, builder, AV_PIX_FMT_YUV420P, yuv.frame) == nv12ToRgba(same));
    }
}

// A picture that is not of the store's size (the stream changed size) is
// scaled to the store on the processor, as the software converter does: no
// kernel or copy sized from the picture, which would overrun the store.
TEST(CudaConverter, PictureOfAnotherSizeIsScaledToTheStore)
{
    FakeCuda cuda;
    const int w = 16, h = 8;
    for (AVPixelFormat format : {AV_PIX_FMT_RGB0, AV_PIX_FMT_YUV420P}) {
        SCOPED_TRACE(format);
        const Planes larger = format == AV_PIX_FMT_RGB0 ? Planes(2 * w, 2 * h, {{8 * w, 2 * h}})
                                                        : Planes(2 * w, 2 * h, {{2 * w, 2 * h}, {w, h}, {w, h}});
        uint8_t *store = cuda.allocate(w * h * 4);
        CudaVideoFrameBuilder builder(cuda.api());
        builder.convert(&store, w * h * 4, w * 4, format, AV_PIX_FMT_RGBA, &larger.frame);
        std::vector<uint8_t> expected(w * h * 4 + SwsVideoFrame::storeSlack);
        uint8_t *reference = expected.data();
        SwsVideoFrameBuilder().convert(&reference, w * h * 4, w * 4, format, AV_PIX_FMT_RGBA, &larger.frame);
        EXPECT_TRUE(std::equal(store, store + w * h * 4, expected.begin()));
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
