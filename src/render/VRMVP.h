// The per-eye matrix of the VR mode: projection x eye pose x head pose x the
// sphere's model matrix. Widget thread only; reads the runtime, owns nothing.
#pragma once

#include "render/IModelViewProjection.h"

#include <glm/mat4x4.hpp>

#include <cstdint>

class VRRuntime;

class VRMVP : public IModelViewProjection {
public:
    explicit VRMVP(VRRuntime *runtime);

    // 0 = left eye; any other value is the right eye.
    void setEye(uint32_t eye) { this->eye = eye; }
    const float *matrix() override;

    // Places the sphere's centre at (0, -1, -3) in tracking space, the
    // picture's top up and its horizontal centre along -z. Shared by the
    // whole process and made once, on first use.
    static const glm::mat4 &modelMatrix();

private:
    glm::mat4 result;
    uint32_t eye = 0;
    VRRuntime *runtime;
};
