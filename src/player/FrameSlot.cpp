#include "player/FrameSlot.h"

#include "frames/AbstractVideoFrame.h"

FrameSlot::~FrameSlot()
{
    delete current;
}

AbstractVideoFrame *FrameSlot::exchange(AbstractVideoFrame *frame)
{
    std::lock_guard<std::mutex> guard(mutex);
    AbstractVideoFrame *previous = current;
    current = frame;
    return previous;
}

unsigned int FrameSlot::currentTexture()
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!current)
        return 0;
    current->updateTexture();
    return current->textureId();
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
