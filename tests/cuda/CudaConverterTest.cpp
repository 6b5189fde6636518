// CudaVideoFrameBuilder: the accepted formats, the branches' copies, staging
// and pinning observed through a fake runtime that runs the kernel on the
// CPU, and the report lines of the real runtime on a machine without a GPU.
#include "CpuKernelRunner.h"
#include "CudaTestSupport.h"

#include "cuda/CudaVideoFrameBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

const char *const kBuilderSource = "src/cuda/CudaVideoFrameBuilder.cpp";

// A picture in planes the test owns, described by an AVFrame without buffers.
struct Planes {
    AVFrame frame{};
    std::vector<std::vector<uint8_t>> planes;

    Planes(int width, int height, std::vector<std::pair<int, int>> pitchAndRows, unsigned seed = 1)
    {
        frame.width = width;
        frame.height = height;
        std::mt19937 random(seed);
        for (size_t i = 0; i < pitchAndRows.size(); ++i) {
            planes.emplace_back(size_t(pitchAndRows[i].first) * pitchAndRows[i].second);
            for (uint8_t &b : planes.back())
                b = uint8_t(random());
            frame.data[i] = planes.back().data();
            frame.linesize[i] = pitchAndRows[i].first;
        }
    }
};

Planes nv12(int width, int height, int pitch, unsigned seed = 1)
{
    return Planes(width, height, {{pitch, height}, {pitch, (height + 1) / 2}}, seed);
}

} // namespace

TEST(CudaConverter, AcceptsOnlyRgb0AndCudaFrames)
{
    std::vector<int> accepted;
    for (int f = AV_PIX_FMT_NONE; f < AV_PIX_FMT_NB; ++f)
        if (CudaVideoFrameBuilder::isFormatSupported(AVPixelFormat(f)))
            accepted.push_back(f);
    std::vector<int> expected = {AV_PIX_FMT_RGB0, AV_PIX_FMT_CUDA};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(accepted, expected);
}

TEST(CudaConverter, DeviceNv12IsStagedThenConvertedAndStagingFollowsTheSize)
{
    FakeCuda cuda;
    std::vector<uint8_t> store(1920 * 1080 * 4, 0);
    uint8_t *dst = store.data();
    {
        CudaVideoFrameBuilder builder(cuda.api());
        Planes hd = nv12(1920, 1080, 2048);
        builder.convert(&dst, int32_t(store.size()), 1920 * 4, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &hd.frame);

        ASSERT_EQ(cuda.callsNamed("malloc").size(), 1u);
        EXPECT_EQ(cuda.callsNamed("malloc")[0].size, 3317760u); // 2048 x 1080 x 1.5
        const auto copies = cuda.callsNamed("memcpy");
        ASSERT_EQ(copies.size(), 2u);
        const uint8_t *staging = static_cast<const uint8_t *>(copies[0].target);
        EXPECT_EQ(copies[0].source, hd.frame.data[0]);
        EXPECT_EQ(copies[0].size, 2048u * 1080);
        EXPECT_EQ(copies[0].kind, cudaMemcpyDeviceToDevice);
        EXPECT_EQ(copies[1].target, staging + 2048 * 1080);
        EXPECT_EQ(copies[1].source, hd.frame.data[1]);
        EXPECT_EQ(copies[1].size, 2048u * 540);
        EXPECT_EQ(copies[1].kind, cudaMemcpyDeviceToDevice);
        const auto launches = cuda.callsNamed("launchNv12ToRgba32");
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_EQ(launches[0].source, staging);
        EXPECT_EQ(launches[0].target, store.data());
        EXPECT_EQ(launches[0].pitch, 2048u);
        EXPECT_EQ(launches[0].kind, 1920 * 4);
        EXPECT_EQ(cuda.calls.back().name, "getLastError");

        // The store holds the picture the kernel makes from the decoder's planes.
        std::vector<uint8_t> contiguous(hd.planes[0]);
        contiguous.insert(contiguous.end(), hd.planes[1].begin(), hd.planes[1].end());
        std::vector<uint8_t> expected(store.size());
        cpuNv12ToRgba32(contiguous.data(), 2048, expected.data(), 1920 * 4, 1920, 1080, 0);
        EXPECT_TRUE(store == expected);

        // Same size: the buffer is kept.
        builder.convert(&dst, int32_t(store.size()), 1920 * 4, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &hd.frame);
        EXPECT_EQ(cuda.callsNamed("malloc").size(), 1u);
        EXPECT_EQ(cuda.callsNamed("free").size(), 0u);

        // Smaller, with an odd height: re-allocated, the last chroma row included.
        Planes small = nv12(33, 5, 64);
        builder.convert(&dst, 33 * 5 * 4, 33 * 4, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &small.frame);
        ASSERT_EQ(cuda.callsNamed("free").size(), 1u);
        EXPECT_EQ(cuda.callsNamed("free")[0].target, staging);
        ASSERT_EQ(cuda.callsNamed("malloc").size(), 2u);
        EXPECT_EQ(cuda.callsNamed("malloc")[1].size, 64u * 5 + 64u * 3);
        EXPECT_EQ(cuda.callsNamed("memcpy").back().size, 64u * 3);
    }
    // The builder frees its staging buffer; no host memory was ever pinned.
    EXPECT_EQ(cuda.callsNamed("free").size(), 2u);
    EXPECT_TRUE(cuda.allocations.empty());
    EXPECT_TRUE(cuda.callsNamed("hostRegister").empty());
    EXPECT_TRUE(cuda.callsNamed("hostUnregister").empty());
}

TEST(CudaConverter, HostPlanesArePinnedOncePerAddressAndUnpinnedInAddressOrder)
{
    FakeCuda cuda;
    const int w = 16, h = 8;
    std::vector<uint8_t> store(w * h * 4, 0);
    uint8_t *dst = store.data();
    Planes a(w, h, {{w * 4, h}}, 1);
    Planes b(w, h, {{w * 4, h}}, 2);
    {
        CudaVideoFrameBuilder builder(cuda.api());
        builder.convert(&dst, int32_t(store.size()), w * 4, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &a.frame);
        // RGB0 is copied as one block, the fourth byte becoming alpha; no kernel.
        EXPECT_EQ(store, a.planes[0]);
        EXPECT_TRUE(cuda.callsNamed("launchNv12ToRgba32").empty());
        ASSERT_EQ(cuda.callsNamed("memcpy").size(), 1u);
        EXPECT_EQ(cuda.callsNamed("memcpy")[0].kind, cudaMemcpyHostToDevice);

        builder.convert(&dst, int32_t(store.size()), w * 4, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &b.frame);
        // The same address again, now said to be larger: not registered again.
        a.frame.height = h / 2;
        builder.convert(&dst, int32_t(store.size()) / 2, w * 4, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &a.frame);
        std::vector<uint8_t> halves(a.planes[0].begin(), a.planes[0].begin() + store.size() / 2);
        halves.insert(halves.end(), b.planes[0].begin() + store.size() / 2, b.planes[0].end());
        EXPECT_EQ(store, halves) << "dstSize bytes from a over the picture of b";

        const auto registered = cuda.callsNamed("hostRegister");
        ASSERT_EQ(registered.size(), 2u);
        EXPECT_EQ(registered[0].target, a.frame.data[0]);
        EXPECT_EQ(registered[0].size, size_t(w * 4 * h));
        EXPECT_EQ(registered[0].kind, int(cudaHostRegisterDefault));
        EXPECT_EQ(registered[1].target, b.frame.data[0]);
        EXPECT_TRUE(cuda.callsNamed("malloc").empty()) << "RGB0 needs no staging";
    }
    const auto unregistered = cuda.callsNamed("hostUnregister");
    ASSERT_EQ(unregistered.size(), 2u);
    EXPECT_EQ(unregistered[0].target, std::min<const void *>(a.frame.data[0], b.frame.data[0]));
    EXPECT_EQ(unregistered[1].target, std::max<const void *>(a.frame.data[0], b.frame.data[0]));
}

TEST(CudaConverter, HostYuv420pGivesThePictureOfTheSameNv12)
{
    FakeCuda cuda;
    for (auto [w, h] : {std::pair{64, 32}, std::pair{37, 11}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        const int lumaPitch = 96, chromaPitch = 48 + 16, rows = (h + 1) / 2;
        Planes yuv(w, h, {{lumaPitch, h}, {chromaPitch, rows}, {chromaPitch + 8, rows}}, w);

        // The same picture as NV12, the chroma interleaved in rows of the luma pitch.
        std::vector<uint8_t> same(yuv.planes[0]);
        same.resize(size_t(lumaPitch) * (h + rows));
        for (int r = 0; r < rows; ++r)
            for (int i = 0; i < (w + 1) / 2; ++i) {
                same[size_t(lumaPitch) * (h + r) + 2 * i] = yuv.planes[1][size_t(r) * chromaPitch + i];
                same[size_t(lumaPitch) * (h + r) + 2 * i + 1] = yuv.planes[2][size_t(r) * (chromaPitch + 8) + i];
            }
        std::vector<uint8_t> expected(size_t(w) * h * 4);
        cpuNv12ToRgba32(same.data(), lumaPitch, expected.data(), w * 4, w, h, 0);

        std::vector<uint8_t> store(expected.size(), 0);
        uint8_t *dst = store.data();
        CudaVideoFrameBuilder builder(cuda.api());
        builder.convert(&dst, int32_t(store.size()), w * 4, AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGBA, &yuv.frame);
        EXPECT_TRUE(store == expected);
        EXPECT_EQ(cuda.callsNamed("malloc").back().size, size_t(lumaPitch) * (h + rows));
    }
}

TEST(CudaConverter, OtherFormatsAreReportedAndLeaveTheStoreAlone)
{
    CapturedLog log;
    FakeCuda cuda;
    std::vector<uint8_t> store(8 * 4 * 4, 0x5A);
    uint8_t *dst = store.data();
    Planes host = nv12(8, 4, 8);
    {
        CudaVideoFrameBuilder builder(cuda.api());
        builder.convert(&dst, int32_t(store.size()), 8 * 4, AV_PIX_FMT_NV12, AV_PIX_FMT_RGBA, &host.frame);
    }
    EXPECT_EQ(store, std::vector<uint8_t>(store.size(), 0x5A));
    EXPECT_TRUE(cuda.callsNamed("memcpy").empty());
    EXPECT_TRUE(cuda.callsNamed("launchNv12ToRgba32").empty());
    const std::string expected = "Frame format " + std::to_string(int(AV_PIX_FMT_NV12)) +
                                 " not supported by CUDA converter!";
    EXPECT_EQ(log.messages(), std::vector<std::string>{expected});
}

TEST(CudaConverter, WithoutAGpuEveryFailedCallIsReportedWithItsSourceLine)
{
    // The real runtime: no driver on this machine, so every call fails.
    if (cudaDevicePresent())
        GTEST_SKIP() << "a CUDA device is present";
    CapturedLog log;
    Planes device = nv12(64, 32, 64);
    Planes host(64, 32, {{256, 32}});
    // Never dereferenced: every CUDA call fails before touching memory.
    uint8_t *dst = reinterpret_cast<uint8_t *>(uintptr_t(0x10000));
    {
        CudaVideoFrameBuilder builder;
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_CUDA, AV_PIX_FMT_RGBA, &device.frame);
        builder.convert(&dst, 64 * 32 * 4, 256, AV_PIX_FMT_RGB0, AV_PIX_FMT_RGBA, &host.frame);
    }
    std::vector<std::string> calls;
    for (const std::string &message : log.messages()) {
        CudaReport report;
        ASSERT_TRUE(parseCudaReport(message, report)) << message;
        EXPECT_NE(report.status, 0);
        EXPECT_EQ(report.name.rfind("cuda", 0), 0u) << message;
        EXPECT_EQ(report.file, "src\\cuda\\CudaVideoFrameBuilder");
        // The line named is the line of the failing call.
        calls.push_back(apiCallOn(kBuilderSource, report.line));
    }
    // NV12: staging, two copies, the failed launch; RGB0: pin, copy, the last
    // error; destruction: unpin (and the free of the staging that never came).
    std::vector<std::string> expected = {"malloc", "memcpy", "memcpy", "getLastError",
                                         "hostRegister", "memcpy", "getLastError", "hostUnregister"};
    if (calls.size() == expected.size() + 1)
        expected.push_back("free");
    EXPECT_EQ(calls, expected);
}
