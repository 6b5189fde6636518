#include "player/FrameSlot.h"

#include "frames/AbstractVideoFrame.h"
#include "frames/FrameTexture.h"

FrameSlot::~FrameSlot()
{
    delete current;
}

AbstractVideoFrame *FrameSlot::exchange(AbstractVideoFrame *frame)
{
    std::lock_guard<std::mutex> guard(mutex);
    AbstractVideoFrame *previous = current;
    current = frame;
    changes.fetch_add(1, std::memory_order_release);
    return previous;
}

unsigned int FrameSlot::currentTexture(FrameTexture &target, PictureColour *colour)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!current)
        return 0;
    if (colour)
        *colour = current->colour();
    if (!target.shows(current, current->pictureId())) {
        current->updateTexture(target);
        target.setShown(current, current->pictureId());
    }
    return target.id();
}

bool FrameSlot::isEmpty()
{
    std::lock_guard<std::mutex> guard(mutex);
    return current == nullptr;
}

double FrameSlot::currentDisplayAspect()
{
    std::lock_guard<std::mutex> guard(mutex);
    return current ? current->displayAspect() : 0.0;
}

PictureTurn FrameSlot::currentTurn()
{
    std::lock_guard<std::mutex> guard(mutex);
    return current ? current->turn() : PictureTurn{};
}

void FrameSlot::setStereoLayout(const StereoLayout &newLayout)
{
    std::lock_guard<std::mutex> guard(mutex);
    layout = newLayout;
}

StereoLayout FrameSlot::stereoLayout()
{
    std::lock_guard<std::mutex> guard(mutex);
    return layout;
}
