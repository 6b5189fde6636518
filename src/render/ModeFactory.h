#pragma once

class AbstractInputHandler;
class AbstractMode;
class FrameSlot;

// Mode 0: a NormalMode; mode 1: a VRMode on a new VRRuntime, whose desktop
// view (no headset) listens to inputHandler; others: null. Widget thread,
// context current.
AbstractMode *createMode(AbstractInputHandler *inputHandler, int mode, FrameSlot *frameSlot, int width,
                         int height);
