// The connection to the OpenVR runtime: eye geometry, submission of the eye
// images and the headset pose. Widget thread only (inside paintGL). Shares
// the process's one runtime session with every other VRRuntime; the last one
// destroyed shuts it down. Without a runtime every call returns its fallback.
#pragma once

#include "render/OpenVRApi.h"

#include <GL/glew.h>

class VRRuntime {
public:
    VRRuntime();
    VRRuntime(const VRRuntime &) = delete;
    VRRuntime &operator=(const VRRuntime &) = delete;
    ~VRRuntime();

    // Recommended eye target size; 100 without a runtime.
    int renderWidth();
    int renderHeight();
    // Hands both eye images to the compositor (OpenGL, gamma, whole texture).
    void submit(GLuint leftTexture, GLuint rightTexture);
    // Blocks until the compositor wants the next frame, then takes the
    // headset pose for the next paint.
    void waitGetPoses();

    // Null when no runtime could be initialised.
    vr::IVRSystem *getSystem() const { return system; }
    // Inverse of the headset's device-to-tracking transform, column-major.
    const float *getHeadPose() const { return headPose; }

private:
    vr::IVRSystem *system = nullptr;
    vr::Texture_t eyeTextures[2];
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    float headPose[16];
};
