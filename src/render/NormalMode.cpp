#include "render/NormalMode.h"

#include "player/FrameSlot.h"
#include "render/TexturedRectangle.h"

#include <GL/glew.h>

#include <cmath>

NormalMode::NormalMode(FrameSlot *frameSlot, int width, int height)
    : AbstractMode(width, height), frameSlot(frameSlot), rectangle(new TexturedRectangle(frameSlot))
{
}

NormalMode::~NormalMode()
{
    delete rectangle;
}

NormalMode::Box NormalMode::fitAspect(int width, int height, double aspect)
{
    if (!(aspect > 0.0) || width <= 0 || height <= 0)
        return {0, 0, width, height};
    int w = width;
    int h = static_cast<int>(std::lround(width / aspect));
    if (h > height) {
        h = height;
        w = static_cast<int>(std::lround(height * aspect));
    }
    return {(width - w) / 2, (height - h) / 2, w, h};
}

void NormalMode::render()
{
    // Its own state, whatever another mode left: blended over black, no depth test.
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // The bars: the whole widget black, then the picture in its own box. The
    // box follows the current frame, so a new size or a resize shows at once.
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // A picture turned a quarter shows its height across.
    double aspect = frameSlot->currentDisplayAspect();
    if (aspect > 0.0 && frameSlot->currentTurn().sidesSwap())
        aspect = 1.0 / aspect;
    const Box box = fitAspect(width, height, aspect);
    glViewport(box.x, box.y, box.width, box.height);
    rectangle->render();
}

void NormalMode::resize(int w, int h)
{
    AbstractMode::resize(w, h);
    glViewport(0, 0, w, h);
}
