#include "render/ModeFactory.h"

#include "render/NormalMode.h"
#include "render/VRMode.h"
#include "render/VRRuntime.h"

AbstractMode *createMode(AbstractInputHandler *inputHandler, int mode, FrameSlot *frameSlot, int width, int height)
{
    switch (mode) {
    case 0:
        return new NormalMode(frameSlot, width, height);
    case 1:
        // The mode takes over the runtime; without a headset its desktop
        // view turns with the widget's mouse input.
        return new VRMode(new VRRuntime(), frameSlot, width, height, inputHandler);
    default:
        return nullptr;
    }
}
