#pragma once

#include "render/gl/IRenderable.h"

// What the render view paints. Created, installed and deleted on the widget's
// thread by the engine.
class AbstractMode : public GL::IRenderable {
public:
    AbstractMode(int width, int height) : width(width), height(height) {}
    void resize(int w, int h) override
    {
        width = w;
        height = h;
    }

protected:
    int width;
    int height;
};
