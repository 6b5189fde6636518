#pragma once

#include "render/gl/IRenderable.h"

class FrameSlot;

// What the render view paints. Created, installed and deleted on the widget's
// thread by the engine.
class AbstractMode : public GL::IRenderable {
public:
    AbstractMode(int width, int height) : width(width), height(height) {}

    // The slot whose changes are all that alter this mode's picture: the view
    // then paints only when it changes (or on resize, expose and install).
    // Null, the default, makes the view paint continuously, as a mode paced
    // by something else (a headset compositor) needs.
    virtual FrameSlot *changeSource() const { return nullptr; }
    void resize(int w, int h) override
    {
        width = w;
        height = h;
    }

protected:
    int width;
    int height;
};
