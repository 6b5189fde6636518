// The GPU converter: stages the decoder's planes in device memory and runs the
// NV12-to-RGBA kernel into a CudaVideoFrame's device store. Used by the one
// demux thread of the loaded file; owns the staging buffer and the page-locked
// registrations of host planes.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/IVideoFrameBuilder.h"
#include "frames/PictureFacts.h"
#include "frames/SwsVideoFrameBuilder.h"

#include <memory>

#include <set>
#include <vector>

class CudaVideoFrameBuilder : public IVideoFrameBuilder {
public:
    explicit CudaVideoFrameBuilder(const CudaApi &api = cudaRuntimeApi());
    ~CudaVideoFrameBuilder() override;
    CudaVideoFrameBuilder(const CudaVideoFrameBuilder &) = delete;
    CudaVideoFrameBuilder &operator=(const CudaVideoFrameBuilder &) = delete;

    // Whether the decoder's pixel format is in the accepted list.
    static bool isFormatSupported(AVPixelFormat format);
    // The kernels' standard index (ColourMatrix.h) for pictures of that colour.
    static int standardIndex(const PictureColour &colour);

    // dst points at the frame's device store; dstFormat is always RGBA here.
    // The store is never written past dstSize: a picture of another size than
    // the store is scaled to it on the processor, as the software converter
    // does, and copied in.
    void convert(uint8_t **dst, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                 AVPixelFormat dstFormat, const AVFrame *frame) override;

private:
    void ensureStaging(int64_t required);
    void pin(void *address, int64_t size);
    void launch(uint8_t *store, int32_t dstLineSize, const AVFrame *frame, AVPixelFormat srcFormat,
                bool deepSamples = false);
    void convertResized(uint8_t *store, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                        const AVFrame *frame);

    struct FrameDeleter {
        void operator()(AVFrame *frame) const { av_frame_free(&frame); }
    };

    // All demux thread only.
    uint8_t *staging = nullptr;
    int32_t lumaPitch = 0;
    int32_t stagingSize = 0;
    std::set<void *> pinned;
    std::vector<uint8_t> interleaved; // YUV420P chroma rearranged as NV12
    // For pictures whose size differs from the store's.
    SwsVideoFrameBuilder scaler;
    std::unique_ptr<AVFrame, FrameDeleter> download; // a device picture brought to the host
    std::vector<uint8_t> scaled;                     // the store's contents, on the host
    const CudaApi api;
};
