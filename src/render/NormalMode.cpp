#include "render/NormalMode.h"

#include "render/TexturedRectangle.h"

#include <GL/glew.h>

NormalMode::NormalMode(FrameSlot *frameSlot, int width, int height)
    : AbstractMode(width, height), rectangle(new TexturedRectangle(frameSlot)), frameSlot(frameSlot)
{
}

NormalMode::~NormalMode()
{
    delete rectangle;
}

void NormalMode::render()
{
    rectangle->render();
}

void NormalMode::resize(int w, int h)
{
    AbstractMode::resize(w, h);
    glViewport(0, 0, w, h);
}
