// The VR mode's view for a desk without a headset: one perspective camera at
// the sphere's centre that the mouse turns (drag) and zooms (wheel). Widget
// thread only: the input handler calls it from the widget's mouse events and
// the VR mode reads its matrix inside paintGL. Owns nothing.
#pragma once

#include "render/IInputListener.h"
#include "render/IModelViewProjection.h"

#include <glm/mat4x4.hpp>

class DesktopView : public IModelViewProjection, public IInputListener {
public:
    // Vertical field of view at the start and its limits, in degrees.
    static constexpr float kDefaultFov = 75.0f;
    static constexpr float kMinFov = 30.0f;
    static constexpr float kMaxFov = 110.0f;
    // Turn per pixel of drag at the default field of view; a narrower view
    // turns proportionally less, so the picture keeps up with the pointer.
    static constexpr float kDegreesPerPixel = 0.25f;
    // Field of view change per wheel notch (120 units of angle delta).
    static constexpr float kFovPerNotch = 5.0f;

    DesktopView() = default;

    void resize(int width, int height);
    // Perspective x turn x the sphere's model matrix, with the camera at the
    // sphere's centre; valid until the next call.
    const float *matrix() override;

    // Degrees: yaw turns left (counter-clockwise seen from above), pitch up.
    float yaw() const { return yawDegrees; }
    float pitch() const { return pitchDegrees; }
    float fov() const { return fovDegrees; }

    // Dragging moves the picture with the pointer: a drag to the right turns
    // the view to the left, a drag down turns it up.
    void onMouseMove(float x, float y, float dx, float dy) override;
    void onMousePress(float x, float y) override;
    void onMouseRelease(float x, float y) override;
    // A turn away from the user (positive dy) narrows the view.
    void onWheel(float dx, float dy) override;

private:
    glm::mat4 result{1.0f};
    float yawDegrees = 0.0f;
    float pitchDegrees = 0.0f;
    float fovDegrees = kDefaultFov;
    int width = 1;
    int height = 1;
    bool dragging = false;
};
