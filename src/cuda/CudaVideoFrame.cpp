#include "cuda/CudaVideoFrame.h"

// cuda_gl_interop.h pulls in GL/gl.h, which GLEW must precede.
#include <GL/glew.h>
#include <cuda_gl_interop.h>

#include "frames/FrameTexture.h"

#include <memory>

namespace {
const char *const kSourceFile = "src\\cuda\\CudaVideoFrame";
}

#define CUDA_CHECK(call) checkCuda(api, (call), kSourceFile, __LINE__)

namespace {

// The texture's registration with CUDA, kept with the texture for as long as
// its storage lives: registering is costly, so it is done once per texture,
// not once per picture.
struct CudaRegistration : FrameTexture::Attachment {
    CudaRegistration(const CudaApi &api) : api(api) {}
    ~CudaRegistration() override
    {
        if (resource)
            CUDA_CHECK(api.graphicsUnregisterResource(resource));
    }
    const CudaApi api;
    cudaGraphicsResource_t resource = nullptr;
};

} // namespace

CudaVideoFrame::CudaVideoFrame(IVideoFrameBuilder *builder, int width, int height, const CudaApi &api)
    : AbstractVideoFrame(width, height)
    , builder(builder)
    , api(api)
{
    void *store = nullptr;
    if (CUDA_CHECK(api.malloc(&store, static_cast<size_t>(dataSize))))
        data = static_cast<uint8_t *>(store);
}

CudaVideoFrame::~CudaVideoFrame()
{
    CUDA_CHECK(api.free(data));
    data = nullptr;
}

void CudaVideoFrame::fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs)
{
    if (data) {
        builder->convert(&data, dataSize, lineSize, srcFormat, static_cast<AVPixelFormat>(pixelFormat), frame);
        beginPicture(timestampMs);
    } else {
        // Nothing to show, so no new picture: the texture is never copied from it.
        timestamp = timestampMs;
    }
    describe(frame, srcFormat);
}

void CudaVideoFrame::updateTexture(FrameTexture &target)
{
    if (!data || pictureId() == 0)
        return;
    target.allocate(width, height);
    auto *registration = dynamic_cast<CudaRegistration *>(target.attachment());
    if (!registration) {
        auto made = std::make_unique<CudaRegistration>(api);
        CUDA_CHECK(api.graphicsGLRegisterImage(&made->resource, target.id(), GL_TEXTURE_2D,
                                               cudaGraphicsRegisterFlagsWriteDiscard));
        registration = made.get();
        target.attach(std::move(made));
    }
    cudaGraphicsResource_t resource = registration->resource;
    CUDA_CHECK(api.graphicsMapResources(1, &resource, 0));
    cudaArray_t array = nullptr;
    CUDA_CHECK(api.graphicsSubResourceGetMappedArray(&array, resource, 0, 0));
    CUDA_CHECK(api.memcpy2DToArray(array, 0, 0, data, lineSize, lineSize, height, cudaMemcpyDeviceToDevice));
    CUDA_CHECK(api.graphicsUnmapResources(1, &resource, 0));
}
