#include "cuda/CudaVideoFrameBuilder.h"

#include "cuda/ColourMatrix.h"
#include "frames/SwsVideoFrame.h"
#include "support/Logger.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

#include <algorithm>
#include <new>
#include <cuda_runtime_api.h>

namespace {

const char *const kSourceFile = "src\\cuda\\CudaVideoFrameBuilder";

// Built once at load; the engine asks it for every file it opens.
const std::vector<AVPixelFormat> acceptedFormats = {AV_PIX_FMT_RGB0, AV_PIX_FMT_CUDA};

// Rows of a 4:2:0 chroma plane: an odd last luma row has one of its own.
int64_t chromaRows(int height)
{
    return (static_cast<int64_t>(height) + 1) / 2;
}

// Device pictures of 10- and 16-bit decoders (HDR10 among them) come in the
// NV12 layout with 16-bit samples; the frames context names the layout.
bool hasDeepSamples(const AVFrame *frame)
{
    if (!frame->hw_frames_ctx || !frame->hw_frames_ctx->data)
        return false;
    const auto *frames = reinterpret_cast<const AVHWFramesContext *>(frame->hw_frames_ctx->data);
    return frames->sw_format == AV_PIX_FMT_P010 || frames->sw_format == AV_PIX_FMT_P016;
}

} // namespace

#define CUDA_CHECK(call) checkCuda(api, (call), kSourceFile, __LINE__)

CudaVideoFrameBuilder::CudaVideoFrameBuilder(const CudaApi &api)
    : api(api)
{
}

CudaVideoFrameBuilder::~CudaVideoFrameBuilder()
{
    for (void *address : pinned)
        CUDA_CHECK(api.hostUnregister(address));
    CUDA_CHECK(api.free(staging));
    staging = nullptr;
    pinned.clear();
}

bool CudaVideoFrameBuilder::isFormatSupported(AVPixelFormat format)
{
    return std::find(acceptedFormats.begin(), acceptedFormats.end(), format) != acceptedFormats.end();
}

void CudaVideoFrameBuilder::ensureStaging(int64_t required)
{
    if (required == stagingSize)
        return;
    stagingSize = static_cast<int32_t>(required);
    if (staging) {
        CUDA_CHECK(api.free(staging));
        staging = nullptr;
    }
    void *buffer = nullptr;
    CUDA_CHECK(api.malloc(&buffer, static_cast<size_t>(required)));
    staging = static_cast<uint8_t *>(buffer);
}

void CudaVideoFrameBuilder::pin(void *address, int64_t size)
{
    if (!pinned.insert(address).second)
        return;
    CUDA_CHECK(api.hostRegister(address, static_cast<size_t>(size), cudaHostRegisterDefault));
}

int CudaVideoFrameBuilder::standardIndex(const PictureColour &colour)
{
    int index = 0;
    switch (colour.matrix) {
    case AVCOL_SPC_SMPTE170M:
        index = 2;
        break;
    case AVCOL_SPC_BT2020_NCL:
        index = 5;
        break;
    case AVCOL_SPC_SMPTE240M:
        index = 6;
        break;
    case AVCOL_SPC_FCC:
        index = 7;
        break;
    default:
        break;
    }
    return colour.fullRange ? index + kFullRange : index;
}

void CudaVideoFrameBuilder::launch(uint8_t *store, int32_t dstLineSize, const AVFrame *frame, AVPixelFormat srcFormat,
                                  bool deepSamples)
{
    const int standard = standardIndex(PictureColour::of(frame, srcFormat));
    if (deepSamples)
        api.launchP016ToRgba32(staging, lumaPitch, store, dstLineSize, frame->width, frame->height, standard);
    else
        api.launchNv12ToRgba32(staging, lumaPitch, store, dstLineSize, frame->width, frame->height, standard);
}

void CudaVideoFrameBuilder::convert(uint8_t **dst, int32_t dstSize, int32_t dstLineSize, AVPixelFormat srcFormat,
                                    AVPixelFormat, const AVFrame *frame)
{
    lumaPitch = frame->linesize[0];
    // A frame whose store could not be allocated has nothing to write into.
    uint8_t *store = dst ? *dst : nullptr;
    if (!store)
        return;

    // The store is RGBA of dstLineSize / 4 by dstSize / dstLineSize pixels.
    if (dstLineSize <= 0 || dstSize < dstLineSize)
        return;
    if (frame->width != dstLineSize / 4 || frame->height != dstSize / dstLineSize) {
        convertResized(store, dstSize, dstLineSize, srcFormat, frame);
        CUDA_CHECK(api.getLastError());
        return;
    }

    const int64_t lumaBytes = static_cast<int64_t>(lumaPitch) * frame->height;
    switch (srcFormat) {
    case AV_PIX_FMT_CUDA: {
        const int64_t chromaBytes = frame->linesize[1] * chromaRows(frame->height);
        ensureStaging(lumaBytes + chromaBytes);
        CUDA_CHECK(api.memcpy(staging, frame->data[0], lumaBytes, cudaMemcpyDeviceToDevice));
        CUDA_CHECK(api.memcpy(staging + lumaBytes, frame->data[1], chromaBytes, cudaMemcpyDeviceToDevice));
        launch(store, dstLineSize, frame, srcFormat, hasDeepSamples(frame));
        break;
    }
    case AV_PIX_FMT_RGB0:
        pin(frame->data[0], lumaBytes);
        // Row by row at the plane's own pitch: only the picture's bytes are
        // read, whatever padding the plane has after each row.
        CUDA_CHECK(api.memcpy2D(store, static_cast<size_t>(dstLineSize), frame->data[0],
                                static_cast<size_t>(lumaPitch), static_cast<size_t>(frame->width) * 4,
                                static_cast<size_t>(frame->height), cudaMemcpyHostToDevice));
        break;
    case AV_PIX_FMT_YUV420P: {
        // The kernel reads NV12, so the two chroma planes are interleaved on
        // the host into rows of the luma pitch before they are copied.
        const int64_t rows = chromaRows(frame->height);
        const int64_t chromaBytes = lumaPitch * rows;
        ensureStaging(lumaBytes + chromaBytes);
        pin(frame->data[0], lumaBytes);
        interleaved.resize(static_cast<size_t>(chromaBytes));
        const int pairs = std::min((frame->width + 1) / 2, lumaPitch / 2);
        for (int64_t row = 0; row < rows; ++row) {
            const uint8_t *u = frame->data[1] + row * frame->linesize[1];
            const uint8_t *v = frame->data[2] + row * frame->linesize[2];
            uint8_t *out = interleaved.data() + row * lumaPitch;
            for (int i = 0; i < pairs; ++i) {
                out[2 * i] = u[i];
                out[2 * i + 1] = v[i];
            }
        }
        CUDA_CHECK(api.memcpy(staging, frame->data[0], lumaBytes, cudaMemcpyHostToDevice));
        CUDA_CHECK(api.memcpy(staging + lumaBytes, interleaved.data(), chromaBytes, cudaMemcpyHostToDevice));
        launch(store, dstLineSize, frame, srcFormat);
        break;
    }
    default:
        logE(diagnosticLogger(), "Frame format %d not supported by CUDA converter!", static_cast<int>(srcFormat));
        break;
    }
    CUDA_CHECK(api.getLastError());
}

void CudaVideoFrameBuilder::convertResized(uint8_t *store, int32_t dstSize, int32_t dstLineSize,
                                           AVPixelFormat srcFormat, const AVFrame *frame)
{
    const AVFrame *source = frame;
    AVPixelFormat format = srcFormat;
    if (srcFormat == AV_PIX_FMT_CUDA) {
        if (!download)
            download.reset(av_frame_alloc());
        if (!download)
            return;
        av_frame_unref(download.get());
        if (av_hwframe_transfer_data(download.get(), frame, 0) < 0) {
            logE(diagnosticLogger(), "Frame of %dx%d could not be brought to the host for scaling", frame->width,
                 frame->height);
            return;
        }
        source = download.get();
        format = static_cast<AVPixelFormat>(download->format);
    }
    try {
        scaled.resize(static_cast<size_t>(dstSize) + SwsVideoFrame::storeSlack);
    } catch (const std::bad_alloc &) {
        return; // the store keeps its picture
    }
    uint8_t *host = scaled.data();
    scaler.convert(&host, dstSize, dstLineSize, format, AV_PIX_FMT_RGBA, source);
    CUDA_CHECK(api.memcpy(store, host, static_cast<size_t>(dstSize), cudaMemcpyHostToDevice));
    if (download)
        av_frame_unref(download.get());
}
