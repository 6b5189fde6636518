// One converted RGBA picture of fixed size. Frames hold pixels only: the
// texture that shows a picture belongs to what draws it (FrameTexture), so a
// frame can be created and destroyed on any thread. Filled on the demux
// thread; uploaded on the widget's thread under the frame slot's lock. The
// pools and queues make sure a frame is never filled and uploaded at once.
#pragma once

#include "frames/PictureFacts.h"

#include <atomic>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

class FrameTexture;

class AbstractVideoFrame {
public:
    AbstractVideoFrame(int width, int height);
    AbstractVideoFrame(const AbstractVideoFrame &) = delete;
    AbstractVideoFrame &operator=(const AbstractVideoFrame &) = delete;
    virtual ~AbstractVideoFrame();

    // Makes target show the picture now held. Widget thread, GL context current.
    virtual void updateTexture(FrameTexture &target) = 0;
    virtual void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) = 0;

    // Identifies the picture held: a new value, unique in the process, at
    // every fill; 0 before the first. Read on the widget's thread once the
    // frame was handed over through a queue or the slot.
    uint64_t pictureId() const { return picture; }
    int64_t getTimestamp() const { return timestamp; }
    int getWidth() const { return width; }
    int getHeight() const { return height; }
    const uint8_t *getData() const { return data; }
    int32_t getDataSize() const { return dataSize; }
    int32_t getLineSize() const { return lineSize; }
    // Width over height of the picture as it is meant to be seen: the size of
    // the picture last filled in (the store's when it gave none) stretched by
    // its sample aspect ratio. A stream whose pictures change size midway is
    // scaled into the store made for the first, but each keeps its own shape.
    double displayAspect() const;
    // How the picture last filled in is turned and what its colours mean.
    PictureTurn turn() const { return pictureTurn; }
    PictureColour colour() const { return pictureColour; }

protected:
    // Records the time stamp of the picture being filled in and gives it its id.
    void beginPicture(int64_t timestampMs);
    // Records what the picture being filled in says about its shape, turn and colours.
    void describe(const AVFrame *frame, AVPixelFormat srcFormat);

    int32_t width;
    int32_t height;
    int32_t pixelFormat;
    int64_t timestamp;
    uint8_t *data;
    int32_t dataSize;
    int32_t lineSize;
    AVRational sampleAspect{0, 1}; // of the picture held; {0, 1} when unknown (square)
    int32_t pictureWidth = 0;      // of the picture held as decoded, before it was scaled into
    int32_t pictureHeight = 0;     // the store; 0 when unknown
    PictureTurn pictureTurn;
    PictureColour pictureColour;

private:
    uint64_t picture = 0;
};
