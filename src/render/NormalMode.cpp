#include "render/NormalMode.h"

#include "render/TexturedRectangle.h"

#include <GL/glew.h>

NormalMode::NormalMode(FrameSlot *frameSlot, int width, int height)
    : AbstractMode(width, height), rectangle(new TexturedRectangle(frameSlot))
{
}

NormalMode::~NormalMode()
{
    delete rectangle;
}

void NormalMode::render()
{
    // Its own state, whatever another mode left: blended over black, no depth test.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    rectangle->render();
}

void NormalMode::resize(int w, int h)
{
    AbstractMode::resize(w, h);
    glViewport(0, 0, w, h);
}
