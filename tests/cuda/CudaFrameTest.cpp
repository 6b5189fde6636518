// CudaVideoFrame under a real GL context, shown through a frame slot into a
// drawer's texture (the fake runtime's interop copy is done by GL, so the
// texture really shows the converted picture).
#include "CudaTestSupport.h"

#include "common/GlTestContext.h"
#include "cuda/CudaVideoFrame.h"
#include "cuda/CudaVideoFrameBuilder.h"
#include "frames/FrameTexture.h"
#include "player/FrameSlot.h"
#include "player/PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

TEST(CudaFrame, EachPictureReachesTheTextureThroughTheTexturesOneRegistration)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.isValid()) << "needs a display (tools/test-env.sh)";
    FakeCuda cuda;
    CudaVideoFrameBuilder builder{cuda.api()};
    const int w = 64, h = 32;
    auto frame = std::make_unique<CudaVideoFrame>(&builder, w, h, cuda.api());
    ASSERT_TRUE(frame->hasStore());
    auto texture = std::make_unique<FrameTexture>();
    FrameSlot slot;
    slot.exchange(frame.get());
    EXPECT_EQ(slot.currentTexture(*texture), 0u) << "nothing to show before the first fill";

    // Each picture is copied in turn; one the converter refuses is reported
    // and leaves the store, so the texture shows what it showed.
    const Planes first = nv12Planes(w, h, w, 1, &cuda), second = nv12Planes(w, h, w, 2, &cuda);
    LogCapture log;
    for (auto [picture, format, stamp, shown] : {std::tuple{&first, AV_PIX_FMT_CUDA, 40, &first},
                                                 {&second, AV_PIX_FMT_CUDA, 80, &second},
                                                 {&first, AV_PIX_FMT_NV12, 120, &second}}) {
        frame->fill(&picture->frame, format, stamp);
        EXPECT_EQ(frame->getTimestamp(), stamp);
        EXPECT_NE(slot.currentTexture(*texture), 0u);
        EXPECT_EQ(slot.currentTexture(*texture), texture->id());
        EXPECT_TRUE(readTextureRgba(texture->id(), w, h) == nv12ToRgba(*shown)) << "at " << stamp;
    }
    EXPECT_EQ(log.count("Frame format " + std::to_string(AV_PIX_FMT_NV12) + " not supported by CUDA converter!"), 1);
    EXPECT_EQ(cuda.registrations, 1);

    // The registration belongs to the texture: it goes with the texture, not
    // with the frame, which takes its store along.
    slot.exchange(nullptr);
    const size_t allocations = cuda.alive.size();
    frame.reset();
    EXPECT_EQ(cuda.alive.size(), allocations - 1);
    EXPECT_EQ(cuda.registrations, 1);
    texture.reset();
    EXPECT_EQ(cuda.registrations, 0);
}
