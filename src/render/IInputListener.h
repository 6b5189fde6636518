#pragma once

// Receiver of mouse input forwarded by AbstractInputHandler. Coordinates are
// widget pixels.
class IInputListener {
public:
    virtual ~IInputListener() = default;
    virtual void onMouseMove(float x, float y, float dx, float dy) = 0;
    virtual void onMousePress(float x, float y) = 0;
    virtual void onMouseRelease(float x, float y) = 0;
    virtual void onWheel(float dx, float dy) = 0;
};
