// A converted frame whose RGBA store is device memory, copied into its texture
// through CUDA-OpenGL interop. Created, uploaded and destroyed on the widget's
// thread (GL context current), filled on the demux thread; owns its device
// store and its texture's CUDA registration.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/IVideoFrameBuilder.h"

class CudaVideoFrame : public AbstractVideoFrame {
public:
    CudaVideoFrame(IVideoFrameBuilder *builder, int width, int height, const CudaApi &api = cudaRuntimeApi());
    ~CudaVideoFrame() override;

    void updateTexture() override;
    void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) override;

    // False when the device store could not be allocated; such a frame is
    // never filled, so its texture is never copied into.
    bool hasStore() const { return data != nullptr; }

private:
    IVideoFrameBuilder *builder;
    cudaGraphicsResource_t resource = nullptr;
    bool dirty = false; // the store holds a picture the texture does not show yet
    const CudaApi api;
};
