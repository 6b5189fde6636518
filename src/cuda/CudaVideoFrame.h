// A converted frame whose RGBA store is device memory, copied into the
// drawer's texture through CUDA-OpenGL interop. Created on the widget's thread
// and destroyed there (or on the demux thread for a frame the pool refuses), filled on the demux
// thread, copied on the widget's thread with the GL context current. Owns its
// device store; the texture and its CUDA registration belong to the drawer.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/IVideoFrameBuilder.h"

class CudaVideoFrame : public AbstractVideoFrame {
public:
    CudaVideoFrame(IVideoFrameBuilder *builder, int width, int height, const CudaApi &api = cudaRuntimeApi());
    ~CudaVideoFrame() override;

    void updateTexture(FrameTexture &target) override;
    void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) override;

    // False when the device store could not be allocated; such a frame is
    // never filled, and never copied into a texture.
    bool hasStore() const { return data != nullptr; }

private:
    IVideoFrameBuilder *builder;
    const CudaApi api;
};
