// The converted frame currently shown. The demux thread exchanges frames in;
// the render modes bring their textures up to date from it on the widget's
// thread. current is guarded by mutex; changes is atomic, so the render view
// can see that a new picture arrived without taking the lock.
#pragma once

#include "frames/PictureFacts.h"
#include "player/StereoLayout.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class AbstractVideoFrame;
class FrameTexture;

class FrameSlot {
public:
    FrameSlot() = default;
    FrameSlot(const FrameSlot &) = delete;
    FrameSlot &operator=(const FrameSlot &) = delete;
    ~FrameSlot();

    // Stores frame and hands the previous one (possibly null) to the caller.
    AbstractVideoFrame *exchange(AbstractVideoFrame *frame);

    // Makes target show the current frame's picture, uploading it only if
    // target does not show it yet, and returns target's name; 0 when the slot
    // is empty. The upload runs under the slot's lock, so the frame cannot be
    // recycled and refilled meanwhile. When colour is given, it receives what
    // the texture's values mean (left as it was when the slot is empty).
    // Widget thread, GL context current.
    unsigned int currentTexture(FrameTexture &target, PictureColour *colour = nullptr);

    // Counts exchanges; a different value means the slot changed since.
    uint64_t changeCount() const { return changes.load(std::memory_order_acquire); }

    bool isEmpty();

    // Display aspect ratio (width over height) of the current frame; 0 when
    // the slot is empty.
    double currentDisplayAspect();
    // How the current frame is turned; no turn when the slot is empty.
    PictureTurn currentTurn();

    // How the pictures of the loaded file carry the eyes; set at each load.
    void setStereoLayout(const StereoLayout &layout);
    StereoLayout stereoLayout();

private:
    AbstractVideoFrame *current = nullptr;
    StereoLayout layout;
    std::mutex mutex;
    std::atomic<uint64_t> changes{0};
};
