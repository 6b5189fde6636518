#include "cuda/CudaVideoFrame.h"

// cuda_gl_interop.h pulls in GL/gl.h, which GLEW must precede.
#include <GL/glew.h>
#include <cuda_gl_interop.h>

namespace {
const char *const kSourceFile = "src\\cuda\\CudaVideoFrame";
}

#define CUDA_CHECK(call) checkCuda(api, (call), kSourceFile, __LINE__)

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
    if (resource)
        CUDA_CHECK(api.graphicsUnregisterResource(resource));
    CUDA_CHECK(api.free(data));
    data = nullptr;
}

void CudaVideoFrame::fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs)
{
    if (data) {
        builder->convert(&data, dataSize, lineSize, srcFormat, static_cast<AVPixelFormat>(pixelFormat), frame);
        dirty = true;
    }
    timestamp = timestampMs;
    sampleAspect = frame ? frame->sample_aspect_ratio : AVRational{0, 1};
}

void CudaVideoFrame::updateTexture()
{
    if (!dirty)
        return;
    dirty = false;
    if (!resource)
        CUDA_CHECK(api.graphicsGLRegisterImage(&resource, texture.id, GL_TEXTURE_2D,
                                               cudaGraphicsRegisterFlagsWriteDiscard));
    CUDA_CHECK(api.graphicsMapResources(1, &resource, 0));
    cudaArray_t array = nullptr;
    CUDA_CHECK(api.graphicsSubResourceGetMappedArray(&array, resource, 0, 0));
    CUDA_CHECK(api.memcpy2DToArray(array, 0, 0, data, lineSize, lineSize, height, cudaMemcpyDeviceToDevice));
    CUDA_CHECK(api.graphicsUnmapResources(1, &resource, 0));
}
