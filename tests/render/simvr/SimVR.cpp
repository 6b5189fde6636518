// A simulated OpenVR runtime: 864 x 960 eyes 64 mm apart, a 90-degree view, a
// settable pose; WaitGetPoses blocks to the next 90 Hz frame as a compositor does.
#include "SimVRControl.h"
#include "render/OpenVRApi.h"

#include <chrono>
#include <cstring>
#include <thread>

#define SIMVR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

SimVRState sim;
bool initialised = false;

class SimSystem final : public vr::IVRSystem {
public:
    void GetRecommendedRenderTargetSize(uint32_t *width, uint32_t *height) override
    {
        *width = 864;
        *height = 960;
    }

    // 90 degrees across, square pixels over the 864 x 960 target.
    vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye, float n, float f) override
    {
        return {{{1, 0, 0, 0},
                 {0, 960.0f / 864.0f, 0, 0},
                 {0, 0, -(f + n) / (f - n), -2.0f * f * n / (f - n)},
                 {0, 0, -1, 0}}};
    }

    void GetProjectionRaw_NotCalled() override {}
    bool ComputeDistortion_NotCalled() override { return false; }

    vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eye) override
    {
        return {{{1, 0, 0, eye == vr::Eye_Left ? -0.032f : 0.032f}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    }
} simSystem;

class SimCompositor final : public vr::IVRCompositor {
public:
    void SetTrackingSpace_NotCalled() override {}
    int GetTrackingSpace_NotCalled() override { return 0; }

    vr::EVRCompositorError WaitGetPoses(vr::TrackedDevicePose_t *poses, uint32_t count, vr::TrackedDevicePose_t *,
                                        uint32_t) override
    {
        static std::chrono::steady_clock::time_point next;
        const auto now = std::chrono::steady_clock::now();
        const auto period = std::chrono::microseconds(11111);
        next = next < now - period ? now + period : next + period;
        std::this_thread::sleep_until(next);
        std::memset(poses, 0, count * sizeof(*poses));
        if (count > 0) {
            std::memcpy(poses[0].mDeviceToAbsoluteTracking.m, sim.headPose, sizeof(sim.headPose));
            poses[0].eTrackingResult = vr::TrackingResult_Running_OK;
            poses[0].bPoseIsValid = poses[0].bDeviceIsConnected = true;
        }
        return vr::VRCompositorError_None;
    }

    vr::EVRCompositorError GetLastPoses_NotCalled() override { return vr::VRCompositorError_None; }
    vr::EVRCompositorError GetLastPoseForTrackedDeviceIndex_NotCalled() override { return vr::VRCompositorError_None; }

    vr::EVRCompositorError Submit(vr::EVREye eye, const vr::Texture_t *texture, const vr::VRTextureBounds_t *,
                                  vr::EVRSubmitFlags) override
    {
        sim.submissions.push_back({eye, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture->handle))});
        return vr::VRCompositorError_None;
    }
} simCompositor;

} // namespace

SIMVR_EXPORT uint32_t VR_InitInternal2(vr::EVRInitError *error, vr::EVRApplicationType type, const char *)
{
    sim.events.push_back('I');
    initialised = type == vr::VRApplication_Scene;
    *error = initialised ? vr::VRInitError_None : vr::VRInitError_Init_NotInitialized;
    return initialised ? 1 : 0;
}

SIMVR_EXPORT void VR_ShutdownInternal()
{
    sim.events.push_back('S');
    initialised = false;
}

SIMVR_EXPORT bool VR_IsInterfaceVersionValid(const char *version)
{
    return std::strcmp(version, vr::IVRSystem_Version) == 0 || std::strcmp(version, vr::IVRCompositor_Version) == 0;
}

SIMVR_EXPORT void *VR_GetGenericInterface(const char *version, vr::EVRInitError *error)
{
    *error = vr::VRInitError_None;
    if (!initialised)
        *error = vr::VRInitError_Init_NotInitialized;
    else if (std::strcmp(version, vr::IVRSystem_Version) == 0)
        return static_cast<vr::IVRSystem *>(&simSystem);
    else if (std::strcmp(version, vr::IVRCompositor_Version) == 0)
        return static_cast<vr::IVRCompositor *>(&simCompositor);
    else
        *error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}

SIMVR_EXPORT SimVRState *simvr_state()
{
    return &sim;
}
