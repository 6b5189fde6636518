#include "render/ModeFactory.h"

#include "render/NormalMode.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"

AbstractMode *createMode(AbstractInputHandler *, int mode, FrameSlot *frameSlot, int width, int height)
{
    switch (mode) {
    case 0:
        return new NormalMode(frameSlot, width, height);
    case 1:
        // The mode takes over the runtime.
        return new VRMode(new VRRuntime(), frameSlot, width, height);
    default:
        return nullptr;
    }
}
