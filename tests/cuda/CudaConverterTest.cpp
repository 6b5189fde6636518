// CudaVideoFrameBuilder: the accepted formats, each branch's staging, pinning
// and picture through the fake runtime, and the report lines of the real
// runtime on a machine without a GPU.
#include "CudaTestSupport.h"

#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/SwsVideoFrameBuilder.h"

#include <algorithm>

#include <cuda_runtime_api.h>
#include <gtest/gtest.h>

namespace {

void convert(CudaVideoFrameBuilder &builder, std::vector<uint8_t> &store, AVPixelFormat format, const AVFrame &frame,
             size_t size = 0)
{
    uint8_t *dst = store.data();
    builder.convert(&dst, int32_t(size ? size : store.size()), frame.width * 4, format, AV_PIX_FMT_RGBA, &frame);
}

} // namespace

TEST(CudaConverter, AcceptsOnlyRgb0AndCudaFrames)
{
    std::set<int> accepted;
    for (int f = AV_PIX_FMT_NONE; f < AV_PIX_FMT_NB; ++f)
        if (CudaVideoFrameBuilder::isFormatSupported(AVPixelFormat(f)))
            accepted.insert(f);
    EXPECT_EQ(accepted, (std::set<int>{AV_PIX_FMT_RGB0, AV_PIX_FMT_CUDA}));
}

TEST(CudaConverter, DeviceNv12IsStagedThenConvertedAndStagingFollowsTheSize)
{
    FakeCuda cuda;
    std::vector<uint8_t> store(1920 * 1080 * 4);
    {
        CudaVideoFrameBuilder builder(cuda.api());
        const Planes hd = nv12Planes(1920, 1080, 2048), small = nv12Planes(33, 5, 64);
        convert(builder, store, AV_PIX_FMT_CUDA, hd.frame);
        EXPECT_TRUE(store == nv12ToRgba(hd));
        EXPECT_EQ(cuda.calls.back().name, "getLastError");
        const auto copies = cuda.named("memcpy");
        ASSERT_EQ(copies.size(), 2u);
        for (int i = 0; i < 2; ++i)
            EXPECT_TRUE(copies[i].size == 2048u * (i ? 540 : 1080) && copies[i].kind == cudaMemcpyDeviceToDevice) << i;
        // Same size: the buffer is kept. Smaller, with an odd height:
        // re-allocated, the last chroma row included.
        convert(builder, store, AV_PIX_FMT_CUDA, hd.frame);
        EXPECT_TRUE(cuda.named("free").empty());
        convert(builder, store, AV_PIX_FMT_CUDA, small.frame, 33 * 5 * 4);
        ASSERT_EQ(cuda.named("free").size(), 1u);
        EXPECT_EQ(cuda.named("free")[0].target, copies[0].target);
        std::vector<size_t> sizes;
        for (const FakeCudaCall &call : cuda.named("malloc"))
            sizes.push_back(call.size);
        EXPECT_EQ(sizes, (std::vector<size_t>{2048 * (1080 + 540), 64 * (5 + 3)}));
        EXPECT_EQ(cuda.named("memcpy").back().size, 64u * 3);
    }
    // The staging buffer is freed with the builder; no host memory was pinned.
    EXPECT_EQ(cuda.named("free").size(), 2u);
    EXPECT_TRUE(cuda.allocations.empty());
    EXPECT_TRUE(cuda.named("hostRegister").empty() && cuda.named("hostUnregister").empty());
}

TEST(CudaConverter, HostRgb0IsPinnedOncePerAddressAndCopiedRowByRow)
{
    FakeCuda cuda;
    const int w = 16, h = 8, pitch = w * 4 + 32; // rows padded, as decoders often leave them
    std::vector<uint8_t> store(w * h * 4);
    Planes a(w, h, {{pitch, h}}, 1), b(w, h, {{pitch, h}}, 2);
    auto rowsOf = [&](const Planes &p) {
        std::vector<uint8_t> rows;
        for (int y = 0; y < h; ++y)
            rows.insert(rows.end(), p.planes[0].begin() + y * pitch, p.planes[0].begin() + y * pitch + w * 4);
        return rows;
    };
    {
        CudaVideoFrameBuilder builder(cuda.api());
        convert(builder, store, AV_PIX_FMT_RGB0, a.frame);
        EXPECT_EQ(store, rowsOf(a)) << "the fourth byte becomes alpha, the padding is skipped";
        const FakeCudaCall copy = cuda.named("memcpy2D").at(0);
        EXPECT_TRUE(copy.size == size_t(h) && copy.pitch == size_t(pitch) && copy.kind == cudaMemcpyHostToDevice);
        convert(builder, store, AV_PIX_FMT_RGB0, b.frame);
        convert(builder, store, AV_PIX_FMT_RGB0, a.frame);
        EXPECT_EQ(store, rowsOf(a));
        const auto registered = cuda.named("hostRegister");
        ASSERT_EQ(registered.size(), 2u);
        EXPECT_TRUE(registered[0].target == a.frame.data[0] && registered[1].target == b.frame.data[0]);
        EXPECT_EQ(registered[0].size, size_t(pitch * h));
        EXPECT_EQ(registered[0].kind, int(cudaHostRegisterDefault));
        EXPECT_TRUE(cuda.named("malloc").empty() && cuda.named("launch").empty()) << "no staging, no kernel";
    }
    const auto unregistered = cuda.named("hostUnregister");
    ASSERT_EQ(unregistered.size(), 2u);
    EXPECT_EQ(unregistered[0].target, std::min<const void *>(a.frame.data[0], b.frame.data[0]));
    EXPECT_EQ(unregistered[1].target, std::max<const void *>(a.frame.data[0], b.frame.data[0]));
}

// A picture that is not of the store's size (the stream changed size) is
// scaled to the store on the processor, as the software converter does: no
// kernel sized from the picture, and nothing written past the store.
TEST(CudaConverter, PictureOfAnotherSizeIsScaledToTheStore)
{
    FakeCuda cuda;
    const int w = 16, h = 8;
    for (AVPixelFormat format : {AV_PIX_FMT_RGB0, AV_PIX_FMT_YUV420P}) {
        SCOPED_TRACE(format);
        const Planes larger = format == AV_PIX_FMT_RGB0 ? Planes(2 * w, 2 * h, {{8 * w, 2 * h}})
                                                        : Planes(2 * w, 2 * h, {{2 * w, 2 * h}, {w, h}, {w, h}});
        std::vector<uint8_t> store(w * h * 4 + 64, 0xAB), expected(store);
        CudaVideoFrameBuilder builder(cuda.api());
        uint8_t *dst = store.data();
        builder.convert(&dst, w * h * 4, w * 4, format, AV_PIX_FMT_RGBA, &larger.frame);
        SwsVideoFrameBuilder software;
        uint8_t *reference = expected.data();
        software.convert(&reference, w * h * 4, w * 4, format, AV_PIX_FMT_RGBA, &larger.frame);
        EXPECT_TRUE(std::equal(store.begin(), store.begin() + w * h * 4, expected.begin()));
        EXPECT_TRUE(std::all_of(store.begin() + w * h * 4, store.end(), [](uint8_t v) { return v == 0xAB; }));
        EXPECT_TRUE(cuda.named("launch").empty());
    }
}

TEST(CudaConverter, HostYuv420pGivesThePictureOfTheSameNv12)
{
    FakeCuda cuda;
    for (auto [w, h] : {std::pair{64, 32}, std::pair{37, 11}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const int pitch = 96, rows = (h + 1) / 2;
        const Planes yuv(w, h, {{pitch, h}, {64, rows}, {72, rows}}, w);
        // The same picture as NV12, the chroma interleaved in rows of the luma pitch.
        Planes same = nv12Planes(w, h, pitch);
        same.planes[0] = yuv.planes[0];
        for (int r = 0; r < rows; ++r)
            for (int i = 0; i < (w + 1) / 2; ++i) {
                same.planes[1][size_t(r) * pitch + 2 * i] = yuv.planes[1][size_t(r) * 64 + i];
                same.planes[1][size_t(r) * pitch + 2 * i + 1] = yuv.planes[2][size_t(r) * 72 + i];
            }
        std::vector<uint8_t> store(size_t(w) * h * 4);
        CudaVideoFrameBuilder builder(cuda.api());
        convert(builder, store, AV_PIX_FMT_YUV420P, yuv.frame);
        EXPECT_TRUE(store == nv12ToRgba(same));
        EXPECT_EQ(cuda.named("malloc").back().size, size_t(pitch) * (h + rows));
    }
}

TEST(CudaConverter, OtherFormatsAreReportedAndNotCopied)
{
    CapturedLog log;
    FakeCuda cuda;
    const Planes host = nv12Planes(8, 4, 8);
    std::vector<uint8_t> store(8 * 4 * 4);
    {
        CudaVideoFrameBuilder builder(cuda.api());
        convert(builder, store, AV_PIX_FMT_NV12, host.frame);
    }
    EXPECT_TRUE(cuda.named("memcpy").empty() && cuda.named("launch").empty());
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Frame format " + std::to_string(int(AV_PIX_FMT_NV12)) +
                                                       " not supported by CUDA converter!"});
}

TEST(CudaConverter, WithoutAGpuEveryFailedCallIsReportedWithItsSourceLine)
{
    int devices = 0;
    if (cudaGetDeviceCount(&devices) == cudaSuccess && devices > 0)
        GTEST_SKIP() << "a CUDA device is present";
    CapturedLog log;
    const Planes device = nv12Planes(64, 32, 64), host(64, 32, {{256, 32}});
    // Never dereferenced: every call of the real runtime fails first.
    uint8_t *dst = reinterpret_cast<uint8_t *>(uintptr_t(0x10000));
    {
        CudaVideoFrameBuilder builder;
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &device.frame);
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &host.frame);
    }
    std::vector<std::string> calls;
    for (const std::string &message : log.messages()) {
        const CudaReport report = parseCudaReport(message);
        EXPECT_EQ(report.file, "src\\cuda\\CudaVideoFrameBuilder") << message;
        EXPECT_NE(report.status, 0);
        EXPECT_EQ(report.name.rfind("cuda", 0), 0u) << message;
        calls.push_back(report.call); // the call on the line named
    }
    // NV12: staging, two copies, the failed launch; RGB0: pin, copy, the last
    // error; destruction: unpin (and the free of the staging that never came).
    std::vector<std::string> expected = {"malloc",       "memcpy",   "memcpy",       "getLastError",
                                         "hostRegister", "memcpy2D", "getLastError", "hostUnregister"};
    if (calls.size() == expected.size() + 1)
        expected.push_back("free");
    EXPECT_EQ(calls, expected);
}
