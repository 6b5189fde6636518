#include "render/DesktopView.h"

#include "render/VRMVP.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>

namespace {
// Inside the sphere (radius 5) in every direction.
constexpr float kNear = 0.1f;
constexpr float kFar = 10.0f;
} // namespace

void DesktopView::resize(int w, int h)
{
    width = std::max(w, 1);
    height = std::max(h, 1);
}

const float *DesktopView::matrix()
{
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    const glm::mat4 projection = glm::perspective(glm::radians(fovDegrees), aspect, kNear, kFar);
    // The camera turns by yaw about +y, then by pitch about its own x axis;
    // the view is the inverse of that, applied after moving the sphere's
    // centre, (0, -1, -3) in tracking space, to the origin.
    glm::mat4 view = glm::rotate(glm::mat4(1.0f), glm::radians(-pitchDegrees), glm::vec3(1.0f, 0.0f, 0.0f));
    view = glm::rotate(view, glm::radians(-yawDegrees), glm::vec3(0.0f, 1.0f, 0.0f));
    view = glm::translate(view, glm::vec3(0.0f, 1.0f, 3.0f));
    result = projection * view * VRMVP::modelMatrix();
    return glm::value_ptr(result);
}

void DesktopView::onMouseMove(float, float, float dx, float dy)
{
    if (!dragging)
        return;
    const float perPixel = kDegreesPerPixel * fovDegrees / kDefaultFov;
    // Kept within (-180, 180] so that long drags do not lose precision.
    yawDegrees = std::remainder(yawDegrees + dx * perPixel, 360.0f);
    pitchDegrees = std::clamp(pitchDegrees + dy * perPixel, -90.0f, 90.0f);
}

void DesktopView::onMousePress(float, float)
{
    dragging = true;
}

void DesktopView::onMouseRelease(float, float)
{
    dragging = false;
}

void DesktopView::onWheel(float, float dy)
{
    fovDegrees = std::clamp(fovDegrees - dy / 120.0f * kFovPerNotch, kMinFov, kMaxFov);
}
