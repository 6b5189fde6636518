// The CUDA runtime calls made by the converter and its frames, as a table of
// function pointers: the real runtime by default, a recording fake in tests.
// Immutable after construction; shared by the demux and widget threads.
#pragma once

#include <cstddef>

#include <driver_types.h>

struct CudaApi {
    cudaError_t (*malloc)(void **pointer, size_t size);
    cudaError_t (*free)(void *pointer);
    cudaError_t (*memcpy)(void *dst, const void *src, size_t count, cudaMemcpyKind kind);
    cudaError_t (*hostRegister)(void *pointer, size_t size, unsigned int flags);
    cudaError_t (*hostUnregister)(void *pointer);
    cudaError_t (*getLastError)();
    const char *(*getErrorName)(cudaError_t status);
    cudaError_t (*graphicsGLRegisterImage)(cudaGraphicsResource_t *resource, unsigned int image, unsigned int target,
                                           unsigned int flags);
    cudaError_t (*graphicsUnregisterResource)(cudaGraphicsResource_t resource);
    cudaError_t (*graphicsMapResources)(int count, cudaGraphicsResource_t *resources, cudaStream_t stream);
    cudaError_t (*graphicsUnmapResources)(int count, cudaGraphicsResource_t *resources, cudaStream_t stream);
    cudaError_t (*graphicsSubResourceGetMappedArray)(cudaArray_t *array, cudaGraphicsResource_t resource,
                                                     unsigned int arrayIndex, unsigned int mipLevel);
    cudaError_t (*memcpy2DToArray)(cudaArray_t dst, size_t wOffset, size_t hOffset, const void *src, size_t spitch,
                                   size_t width, size_t height, cudaMemcpyKind kind);
    void (*launchNv12ToRgba32)(unsigned char *source, int sourcePitch, unsigned char *destination,
                               int destinationPitch, int width, int height, int standardIndex);
    cudaError_t (*memcpy2D)(void *dst, size_t dpitch, const void *src, size_t spitch, size_t width, size_t height,
                            cudaMemcpyKind kind);
    void (*launchP016ToRgba32)(unsigned char *source, int sourcePitch, unsigned char *destination,
                               int destinationPitch, int width, int height, int standardIndex);
};

// The table of the linked CUDA runtime (static cudart) and kernel module.
const CudaApi &cudaRuntimeApi();

// Reports a failed status as a level-E line through the diagnostic logger:
// "Cuda error (%d, %s), file: %s, line: %d". Returns whether it succeeded.
bool checkCuda(const CudaApi &api, cudaError_t status, const char *file, int line);
