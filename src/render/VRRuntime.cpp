#include "render/VRRuntime.h"

#include "render/OpenVRLoader.h"
#include "render/OpenVRMatrix.h"

#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cstring>

namespace {
constexpr int kFallbackSize = 100;
}

VRRuntime::VRRuntime()
{
    const glm::mat4 identity(1.0f);
    std::memcpy(headPose, glm::value_ptr(identity), sizeof(headPose));
    std::memset(eyeTextures, 0, sizeof(eyeTextures));
    std::memset(poses, 0, sizeof(poses));

    // The error is not reported: without a runtime the mode shows black eyes.
    vr::EVRInitError error = vr::VRInitError_None;
    system = openvr::initSystem(&error, vr::VRApplication_Scene);
    if (system) {
        for (vr::Texture_t &texture : eyeTextures) {
            texture.eType = vr::TextureType_OpenGL;
            texture.eColorSpace = vr::ColorSpace_Gamma;
        }
        openvr::compositor();
    }
}

VRRuntime::~VRRuntime()
{
    if (system) {
        openvr::shutdown();
        system = nullptr;
    }
}

int VRRuntime::renderWidth()
{
    if (!system)
        return kFallbackSize;
    uint32_t width = 0, height = 0;
    system->GetRecommendedRenderTargetSize(&width, &height);
    return static_cast<int>(width);
}

int VRRuntime::renderHeight()
{
    if (!system)
        return kFallbackSize;
    uint32_t width = 0, height = 0;
    system->GetRecommendedRenderTargetSize(&width, &height);
    return static_cast<int>(height);
}

void VRRuntime::submit(GLuint leftTexture, GLuint rightTexture)
{
    if (!system)
        return;
    eyeTextures[0].handle = reinterpret_cast<void *>(static_cast<uintptr_t>(leftTexture));
    eyeTextures[1].handle = reinterpret_cast<void *>(static_cast<uintptr_t>(rightTexture));
    vr::IVRCompositor *compositor = openvr::compositor();
    if (!compositor)
        return;
    // Compositor errors leave nothing to recover: the next paint submits anew.
    compositor->Submit(vr::Eye_Left, &eyeTextures[0], nullptr, vr::Submit_Default);
    compositor->Submit(vr::Eye_Right, &eyeTextures[1], nullptr, vr::Submit_Default);
}

void VRRuntime::waitGetPoses()
{
    if (!system)
        return;
    vr::IVRCompositor *compositor = openvr::compositor();
    if (!compositor)
        return;
    compositor->WaitGetPoses(poses, 1, nullptr, 0);
    const vr::TrackedDevicePose_t &hmd = poses[vr::k_unTrackedDeviceIndex_Hmd];
    if (!hmd.bPoseIsValid)
        return;
    const glm::mat4 pose = glm::inverse(openvr::toColumnMajor(hmd.mDeviceToAbsoluteTracking));
    std::memcpy(headPose, glm::value_ptr(pose), sizeof(headPose));
}
