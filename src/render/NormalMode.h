// Render mode 0: the current frame at its display aspect ratio (sample aspect
// included), as large as the widget allows, centred, with black bars on the
// sides it does not fill. Created, painted and deleted on the widget's
// thread; owns its rectangle, reads the engine's frame slot.
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

    // The centred rectangle of aspect ratio `aspect` (width over height) that
    // fits a width x height area; the whole area when aspect is not positive.
    struct Box {
        int x, y, width, height;
    };
    static Box fitAspect(int width, int height, double aspect);

private:
    FrameSlot *frameSlot;
    TexturedRectangle *rectangle;
};
