// Render mode 0: the current frame stretched over the whole widget, no
// aspect correction. Created, painted and deleted on the widget's thread;
// owns its rectangle.
#pragma once

#include "render/AbstractMode.h"

class FrameSlot;
class TexturedRectangle;

class NormalMode : public AbstractMode {
public:
    NormalMode(FrameSlot *frameSlot, int width, int height);
    NormalMode(const NormalMode &) = delete;
    NormalMode &operator=(const NormalMode &) = delete;
    ~NormalMode() override;

    void render() override;
    void resize(int width, int height) override;
    FrameSlot *changeSource() const override { return frameSlot; }

private:
    TexturedRectangle *rectangle;
    FrameSlot *frameSlot;
};
