// CudaVideoFrame under a real GL context, shown through a frame slot into a
// drawer's texture: its store, one copy per picture, the texture's one
// registration and the interop copy (done by GL in the fake runtime, so the
// texture really shows the converted picture), and a frame whose store cannot
// be allocated.
#include "CudaTestSupport.h"

#include "common/GlTestContext.h"
#include "cuda/CudaVideoFrame.h"
#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"

#include <GL/glew.h>
#include <cuda_gl_interop.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

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
    FakeCuda cuda;
    CudaVideoFrameBuilder builder{cuda.api()};
};

} // namespace

TEST_F(CudaFrame, EachFilledPictureIsCopiedOnceIntoTheTextureRegisteredOnce)
{
    const int w = 64, h = 32;
    auto frame = std::make_unique<CudaVideoFrame>(&builder, w, h, cuda.api());
    ASSERT_TRUE(frame->hasStore());
    EXPECT_EQ(cuda.named("malloc").at(0).size, size_t(w * h * 4));
    auto texture = std::make_unique<FrameTexture>();
    FrameSlot slot;
    slot.exchange(frame.get());
    EXPECT_EQ(slot.currentTexture(*texture), 0u) << "nothing to show before the first fill";
    EXPECT_TRUE(cuda.named("graphicsGLRegisterImage").empty());

    const Planes first = nv12Planes(w, h, w, 1), second = nv12Planes(w, h, w, 2);
    const auto shows = [&](const Planes &picture) {
        return readTextureRgba(texture->id(), w, h) == nv12ToRgba(picture);
    };
    frame->fill(&first.frame, AV_PIX_FMT_CUDA, 40);
    EXPECT_EQ(frame->getTimestamp(), 40);
    EXPECT_NE(slot.currentTexture(*texture), 0u);
    EXPECT_EQ(slot.currentTexture(*texture), texture->id());
    const auto registered = cuda.named("graphicsGLRegisterImage");
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].target, reinterpret_cast<void *>(uintptr_t(texture->id())));
    EXPECT_EQ(registered[0].size, size_t(GL_TEXTURE_2D));
    EXPECT_EQ(registered[0].kind, int(cudaGraphicsRegisterFlagsWriteDiscard));
    EXPECT_EQ(cuda.named("graphicsMap").at(0).source, nullptr) << "default stream";
    const auto copies = cuda.named("memcpy2DToArray");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].source, frame->getData());
    EXPECT_EQ(copies[0].kind, cudaMemcpyDeviceToDevice);
    EXPECT_EQ(cuda.calls.back().name, "graphicsUnmap");
    EXPECT_TRUE(shows(first));

    // A new picture is copied again through the same registration; one the
    // converter refuses still refreshes the texture from the unchanged store.
    frame->fill(&second.frame, AV_PIX_FMT_CUDA, 80);
    slot.currentTexture(*texture);
    EXPECT_TRUE(shows(second));
    frame->fill(&first.frame, AV_PIX_FMT_NV12, 120);
    slot.currentTexture(*texture);
    EXPECT_EQ(frame->getTimestamp(), 120);
    EXPECT_TRUE(shows(second));
    for (const char *call : {"graphicsMap", "graphicsSubResourceGetMappedArray", "memcpy2DToArray", "graphicsUnmap"})
        EXPECT_EQ(cuda.named(call).size(), 3u) << call;
    EXPECT_EQ(cuda.named("graphicsGLRegisterImage").size(), 1u);

    // The registration belongs to the texture: it goes with the texture, not
    // with the frame.
    slot.exchange(nullptr);
    const void *store = frame->getData();
    frame.reset();
    EXPECT_TRUE(cuda.named("graphicsUnregisterResource").empty());
    EXPECT_EQ(cuda.named("free").back().target, store);
    texture.reset();
    ASSERT_EQ(cuda.named("graphicsUnregisterResource").size(), 1u);
    EXPECT_EQ(cuda.named("graphicsUnregisterResource")[0].target, cuda.named("graphicsMap")[0].target);
}

TEST_F(CudaFrame, AFrameWithoutAStoreIsNeverFilledOrCopied)
{
    CapturedLog log;
    cuda.failMalloc = true;
    {
        CudaVideoFrame frame(&builder, 16, 8, cuda.api());
        EXPECT_FALSE(frame.hasStore());
        const Planes picture = nv12Planes(16, 8, 16);
        frame.fill(&picture.frame, AV_PIX_FMT_CUDA, 25);
        EXPECT_EQ(frame.getTimestamp(), 25) << "pacing still sees the picture's time";
        FrameTexture texture;
        frame.updateTexture(texture);
    }
    for (const char *call : {"memcpy", "launch", "graphicsGLRegisterImage", "memcpy2DToArray",
                             "graphicsUnregisterResource"})
        EXPECT_TRUE(cuda.named(call).empty()) << call;
    const std::vector<std::string> messages = log.messages();
    ASSERT_EQ(messages.size(), 1u);
    const CudaReport report = parseCudaReport(messages[0]);
    EXPECT_EQ(report.status, int(cudaErrorMemoryAllocation)) << messages[0];
    EXPECT_EQ(report.name, "cudaErrorMemoryAllocation");
    EXPECT_EQ(report.file, "src\\cuda\\CudaVideoFrame");
    EXPECT_EQ(report.call, "malloc");
}
