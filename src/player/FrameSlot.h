// The converted frame currently shown. The demux thread exchanges frames in;
// the render modes read the texture on the widget's thread. Guarded by mutex.
#pragma once

#include "player/StereoLayout.h"

#include <mutex>

class AbstractVideoFrame;

class FrameSlot {
public:
    FrameSlot() = default;
    FrameSlot(const FrameSlot &) = delete;
    FrameSlot &operator=(const FrameSlot &) = delete;
    ~FrameSlot();

    // Stores frame and hands the previous one (possibly null) to the caller.
    AbstractVideoFrame *exchange(AbstractVideoFrame *frame);

    // Brings the current frame's texture up to date and returns its name; 0
    // when the slot is empty. Widget thread, GL context current.
    unsigned int currentTexture();

    bool isEmpty();

    // Display aspect ratio (width over height) of the current frame; 0 when
    // the slot is empty.
    double currentDisplayAspect();

    // How the pictures of the loaded file carry the eyes; set at each load.
    void setStereoLayout(const StereoLayout &layout);
    StereoLayout stereoLayout();

private:
    AbstractVideoFrame *current = nullptr;
    StereoLayout layout;
    std::mutex mutex;
};
