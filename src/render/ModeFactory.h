#pragma once

class AbstractInputHandler;
class AbstractMode;
class FrameSlot;

// Mode 0: a NormalMode; mode 1: a VRMode on a new VRRuntime; others: null.
// The input handler is accepted and not used. Widget thread, context current.
AbstractMode *createMode(AbstractInputHandler *inputHandler, int mode, FrameSlot *frameSlot, int width,
                         int height);
