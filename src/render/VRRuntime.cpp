#include "render/VRRuntime.h"

#include "render/OpenVRLoader.h"
#include "render/OpenVRMatrix.h"

#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {
constexpr int kFallbackSize = 100;

// One OpenVR session serves every VRRuntime of the process: the runtime has
// a single session per process, so the first user initialises it and the
// last one shuts it down. Guarded by sessionMutex.
std::mutex sessionMutex;
int sessionUsers = 0;
vr::IVRSystem *sessionSystem = nullptr;

vr::IVRSystem *acquireSession()
{
    std::lock_guard<std::mutex> guard(sessionMutex);
    if (!sessionSystem) {
        // The error is not reported: without a runtime the mode shows the
        // desktop view.
        vr::EVRInitError error = vr::VRInitError_None;
        sessionSystem = openvr::initSystem(&error, vr::VRApplication_Scene);
        if (!sessionSystem)
            return nullptr;
    }
    ++sessionUsers;
    return sessionSystem;
}

void releaseSession()
{
    std::lock_guard<std::mutex> guard(sessionMutex);
    if (sessionUsers == 0 || --sessionUsers > 0)
        return;
    openvr::shutdown();
    sessionSystem = nullptr;
}
} // namespace

VRRuntime::VRRuntime()
{
    const glm::mat4 identity(1.0f);
    std::memcpy(headPose, glm::value_ptr(identity), sizeof(headPose));
    std::memset(eyeTextures, 0, sizeof(eyeTextures));
    std::memset(poses, 0, sizeof(poses));

    system = acquireSession();
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
        releaseSession();
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
