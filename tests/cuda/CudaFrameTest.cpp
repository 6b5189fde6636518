// CudaVideoFrame under a real GL context: its store, the dirty flag, the
// texture's registration and the interop copy (done by GL in the fake
// runtime, so the texture really shows the converted picture), and a frame
// whose store cannot be allocated (as on this machine, where every CUDA call fails).
#include "CpuKernelRunner.h"
#include "CudaTestSupport.h"

#include "common/GlTestContext.h"
#include "cuda/CudaVideoFrame.h"
#include "cuda/CudaVideoFrameBuilder.h"

#include <GL/glew.h>
#include <cuda_gl_interop.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

struct Nv12Picture {
    AVFrame frame{};
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> rgba; // what the kernel makes of it

    Nv12Picture(int w, int h, unsigned seed) : bytes(size_t(w) * (h + (h + 1) / 2)), rgba(size_t(w) * h * 4)
    {
        std::mt19937 random(seed);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
        frame.width = w;
        frame.height = h;
        frame.data[0] = bytes.data();
        frame.data[1] = bytes.data() + size_t(w) * h;
        frame.linesize[0] = frame.linesize[1] = w;
        cpuNv12ToRgba32(bytes.data(), w, rgba.data(), w * 4, w, h, 0);
    }
};

class CudaFrame : public testing::Test {
protected:
    void SetUp() override
    {
        ensureTestApplication();
        gl = std::make_unique<GlTestContext>();
        ASSERT_TRUE(gl->isValid()) << "needs a display (tools/test-env.sh)";
        ASSERT_TRUE(initGlewForTests());
    }

    std::unique_ptr<GlTestContext> gl;
};

} // namespace

TEST_F(CudaFrame, EachFilledPictureIsCopiedOnceIntoTheTextureRegisteredOnce)
{
    FakeCuda cuda;
    CudaVideoFrameBuilder builder(cuda.api());
    const int w = 64, h = 32;
    auto frame = std::make_unique<CudaVideoFrame>(&builder, w, h, cuda.api());
    ASSERT_TRUE(frame->hasStore());
    ASSERT_EQ(cuda.callsNamed("malloc").size(), 1u);
    EXPECT_EQ(cuda.callsNamed("malloc")[0].size, size_t(w * h * 4));

    frame->updateTexture();
    EXPECT_TRUE(cuda.callsNamed("graphicsGLRegisterImage").empty()) << "nothing to show before the first fill";

    const Nv12Picture first(w, h, 1), second(w, h, 2);
    frame->fill(&first.frame, AV_PIX_FMT_CUDA, 40);
    EXPECT_EQ(frame->getTimestamp(), 40);
    frame->updateTexture();
    frame->updateTexture();

    const auto registered = cuda.callsNamed("graphicsGLRegisterImage");
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].target, reinterpret_cast<void *>(uintptr_t(frame->textureId())));
    EXPECT_EQ(registered[0].size, size_t(GL_TEXTURE_2D));
    EXPECT_EQ(registered[0].kind, int(cudaGraphicsRegisterFlagsWriteDiscard));
    ASSERT_EQ(cuda.callsNamed("graphicsMapResources").size(), 1u);
    EXPECT_EQ(cuda.callsNamed("graphicsMapResources")[0].source, nullptr) << "default stream";
    ASSERT_EQ(cuda.callsNamed("graphicsSubResourceGetMappedArray").size(), 1u);
    const auto copies = cuda.callsNamed("memcpy2DToArray");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].source, frame->getData());
    EXPECT_EQ(copies[0].pitch, size_t(w * 4));
    EXPECT_EQ(copies[0].size2, size_t(w * 4));
    EXPECT_EQ(copies[0].size, size_t(h));
    EXPECT_EQ(copies[0].kind, cudaMemcpyDeviceToDevice);
    ASSERT_EQ(cuda.callsNamed("graphicsUnmapResources").size(), 1u);
    EXPECT_EQ(cuda.calls.back().name, "graphicsUnmapResources");
    EXPECT_TRUE(readTextureRgba(frame->textureId(), w, h) == first.rgba);

    // A new picture is copied again, through the same registration.
    frame->fill(&second.frame, AV_PIX_FMT_CUDA, 80);
    frame->updateTexture();
    EXPECT_EQ(cuda.callsNamed("memcpy2DToArray").size(), 2u);
    EXPECT_EQ(cuda.callsNamed("graphicsGLRegisterImage").size(), 1u);
    EXPECT_TRUE(readTextureRgba(frame->textureId(), w, h) == second.rgba);

    // A picture the converter refuses still refreshes the texture from the
    // unchanged store.
    frame->fill(&first.frame, AV_PIX_FMT_NV12, 120);
    frame->updateTexture();
    EXPECT_EQ(cuda.callsNamed("memcpy2DToArray").size(), 3u);
    EXPECT_EQ(frame->getTimestamp(), 120);
    EXPECT_TRUE(readTextureRgba(frame->textureId(), w, h) == second.rgba);

    const void *store = frame->getData();
    const void *resource = cuda.callsNamed("graphicsMapResources")[0].target;
    frame.reset();
    ASSERT_EQ(cuda.callsNamed("graphicsUnregisterResource").size(), 1u);
    EXPECT_EQ(cuda.callsNamed("graphicsUnregisterResource")[0].target, resource);
    EXPECT_EQ(cuda.callsNamed("free").back().target, store);
}

TEST_F(CudaFrame, AFrameWithoutAStoreIsNeverFilledOrCopied)
{
    CapturedLog log;
    FakeCuda cuda;
    cuda.failMalloc = true;
    CudaVideoFrameBuilder builder(cuda.api());
    {
        CudaVideoFrame frame(&builder, 16, 8, cuda.api());
        EXPECT_FALSE(frame.hasStore());
        const Nv12Picture picture(16, 8, 3);
        frame.fill(&picture.frame, AV_PIX_FMT_CUDA, 25);
        EXPECT_EQ(frame.getTimestamp(), 25) << "pacing still sees the picture's time";
        frame.updateTexture();
    }
    EXPECT_TRUE(cuda.callsNamed("memcpy").empty());
    EXPECT_TRUE(cuda.callsNamed("launchNv12ToRgba32").empty());
    EXPECT_TRUE(cuda.callsNamed("graphicsGLRegisterImage").empty());
    EXPECT_TRUE(cuda.callsNamed("memcpy2DToArray").empty());
    EXPECT_TRUE(cuda.callsNamed("graphicsUnregisterResource").empty());

    const std::vector<std::string> messages = log.messages();
    ASSERT_EQ(messages.size(), 1u);
    CudaReport report;
    ASSERT_TRUE(parseCudaReport(messages[0], report)) << messages[0];
    EXPECT_EQ(report.status, int(cudaErrorMemoryAllocation));
    EXPECT_EQ(report.name, "cudaErrorMemoryAllocation");
    EXPECT_EQ(report.file, "src\\cuda\\CudaVideoFrame");
    EXPECT_EQ(apiCallOn("src/cuda/CudaVideoFrame.cpp", report.line), "malloc");
}
