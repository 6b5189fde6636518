#include "cuda/CudaApi.h"

#include "cuda/ColourKernels.h"
#include "support/Logger.h"

// cuda_gl_interop.h pulls in GL/gl.h, which GLEW must precede.
#include <GL/glew.h>
#include <cuda_gl_interop.h>
#include <cuda_runtime_api.h>

namespace {

const CudaApi runtimeApi = {
    [](void **pointer, size_t size) { return cudaMalloc(pointer, size); },
    [](void *pointer) { return cudaFree(pointer); },
    [](void *dst, const void *src, size_t count, cudaMemcpyKind kind) { return cudaMemcpy(dst, src, count, kind); },
    [](void *pointer, size_t size, unsigned int flags) { return cudaHostRegister(pointer, size, flags); },
    [](void *pointer) { return cudaHostUnregister(pointer); },
    [] { return cudaGetLastError(); },
    [](cudaError_t status) { return cudaGetErrorName(status); },
    [](cudaGraphicsResource_t *resource, unsigned int image, unsigned int target, unsigned int flags) {
        return cudaGraphicsGLRegisterImage(resource, image, target, flags);
    },
    [](cudaGraphicsResource_t resource) { return cudaGraphicsUnregisterResource(resource); },
    [](int count, cudaGraphicsResource_t *resources, cudaStream_t stream) {
        return cudaGraphicsMapResources(count, resources, stream);
    },
    [](int count, cudaGraphicsResource_t *resources, cudaStream_t stream) {
        return cudaGraphicsUnmapResources(count, resources, stream);
    },
    [](cudaArray_t *array, cudaGraphicsResource_t resource, unsigned int arrayIndex, unsigned int mipLevel) {
        return cudaGraphicsSubResourceGetMappedArray(array, resource, arrayIndex, mipLevel);
    },
    [](cudaArray_t dst, size_t wOffset, size_t hOffset, const void *src, size_t spitch, size_t width, size_t height,
       cudaMemcpyKind kind) { return cudaMemcpy2DToArray(dst, wOffset, hOffset, src, spitch, width, height, kind); },
    launchNv12ToRgba32,
    [](void *dst, size_t dpitch, const void *src, size_t spitch, size_t width, size_t height, cudaMemcpyKind kind) {
        return cudaMemcpy2D(dst, dpitch, src, spitch, width, height, kind);
    },
    launchP016ToRgba32,
};

} // namespace

const CudaApi &cudaRuntimeApi()
{
    return runtimeApi;
}

bool checkCuda(const CudaApi &api, cudaError_t status, const char *file, int line)
{
    if (status == cudaSuccess)
        return true;
    logE(diagnosticLogger(), "Cuda error (%d, %s), file: %s, line: %d", static_cast<int>(status),
         api.getErrorName(status), file, line);
    return false;
}
