// One converted RGBA picture of fixed size with its texture. Created and
// destroyed on the widget's thread (GL context current); filled on the demux
// thread; uploaded on the widget's thread. The pools and queues make sure a
// frame is never filled and uploaded at the same time.
#pragma once

#include "render/gl/Texture.h"

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

class AbstractVideoFrame {
public:
    AbstractVideoFrame(int width, int height);
    AbstractVideoFrame(const AbstractVideoFrame &) = delete;
    AbstractVideoFrame &operator=(const AbstractVideoFrame &) = delete;
    virtual ~AbstractVideoFrame();

    virtual void updateTexture() = 0;
    virtual void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) = 0;

    unsigned int textureId() const { return texture.id; }
    int64_t getTimestamp() const { return timestamp; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    const uint8_t *getData() const { return data; }
    int32_t getDataSize() const { return dataSize; }
    int32_t getLineSize() const { return lineSize; }
    // Width over height of the picture as it is meant to be seen: the stored
    // size stretched by the sample aspect ratio of the picture last filled in.
    double displayAspect() const;

protected:
    int32_t width;
    int32_t height;
    int32_t pixelFormat;
    int64_t timestamp;
    GL::Texture texture;
    uint8_t *data;
    int32_t dataSize;
    int32_t lineSize;
    AVRational sampleAspect{0, 1}; // of the picture held; {0, 1} when unknown (square)
};
