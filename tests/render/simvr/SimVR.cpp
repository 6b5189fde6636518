// A simulated OpenVR runtime for the tests: exports the client library's C
// entry points and hands out interface objects with the runtime's slot layout.
// Its headset has a recommended eye size of 864 x 960, a 90-degree symmetric
// projection, eyes 64 mm apart and a settable pose; it records the calls that
// matter to the tests. WaitGetPoses blocks to the next 90 Hz frame, as a real
// compositor does: without it the render loop would spin and take the CPU
// the decoder needs. All state is guarded by sim.mutex.
#include "SimVRControl.h"
#include "render/OpenVRApi.h"

#include <chrono>
#include <cstring>
#include <thread>

#define SIMVR_EXPORT extern "C" __attribute__((visibility("default")))
#define LOCKED std::lock_guard<std::mutex> guard(sim.mutex)

namespace {

SimVRState sim;
bool initialised = false;
std::chrono::steady_clock::time_point nextFrame;

class SimSystem final : public vr::IVRSystem {
public:
    void GetRecommendedRenderTargetSize(uint32_t *width, uint32_t *height) override
    {
        *width = 864;
        *height = 960;
    }

    vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye, float nearZ, float farZ) override
    {
        // 90 degrees across, square pixels over the 864 x 960 target.
        return {{{1, 0, 0, 0},
                 {0, 960.0f / 864.0f, 0, 0},
                 {0, 0, -(farZ + nearZ) / (farZ - nearZ), -2.0f * farZ * nearZ / (farZ - nearZ)},
                 {0, 0, -1, 0}}};
    }

    void GetProjectionRaw_NotCalled() override {}
    bool ComputeDistortion_NotCalled() override { return false; }

    vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eye) override
    {
        return {{{1, 0, 0, eye == vr::Eye_Left ? -0.032f : 0.032f}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    }
};

class SimCompositor final : public vr::IVRCompositor {
public:
    void SetTrackingSpace_NotCalled() override {}
    int GetTrackingSpace_NotCalled() override { return 0; }

    vr::EVRCompositorError WaitGetPoses(vr::TrackedDevicePose_t *renderPoses, uint32_t renderPoseCount,
                                        vr::TrackedDevicePose_t *, uint32_t) override
    {
        std::chrono::steady_clock::time_point wakeUp;
        {
            LOCKED;
            const auto now = std::chrono::steady_clock::now();
            const auto period = std::chrono::microseconds(11111);
            nextFrame = nextFrame < now - period ? now + period : nextFrame + period;
            wakeUp = nextFrame;
        }
        std::this_thread::sleep_until(wakeUp);
        LOCKED;
        sim.events.push_back('W');
        for (uint32_t n = 0; n < renderPoseCount; ++n) {
            std::memset(&renderPoses[n], 0, sizeof(renderPoses[n]));
            renderPoses[n].eTrackingResult = vr::TrackingResult_Uninitialized;
        }
        if (renderPoseCount > 0) {
            std::memcpy(renderPoses[0].mDeviceToAbsoluteTracking.m, sim.headPose, sizeof(sim.headPose));
            renderPoses[0].eTrackingResult = vr::TrackingResult_Running_OK;
            renderPoses[0].bPoseIsValid = true;
            renderPoses[0].bDeviceIsConnected = true;
        }
        return vr::VRCompositorError_None;
    }

    vr::EVRCompositorError GetLastPoses_NotCalled() override { return vr::VRCompositorError_None; }
    vr::EVRCompositorError GetLastPoseForTrackedDeviceIndex_NotCalled() override { return vr::VRCompositorError_None; }

    vr::EVRCompositorError Submit(vr::EVREye eye, const vr::Texture_t *texture, const vr::VRTextureBounds_t *bounds,
                                  vr::EVRSubmitFlags flags) override
    {
        LOCKED;
        sim.events.push_back(eye == vr::Eye_Left ? 'L' : 'R');
        sim.submissions.push_back({eye, texture->eType, texture->eColorSpace, bounds != nullptr, flags,
                               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture->handle))});
        return vr::VRCompositorError_None;
    }
};

SimSystem simSystem;
SimCompositor simCompositor;

} // namespace

SIMVR_EXPORT uint32_t VR_InitInternal2(vr::EVRInitError *error, vr::EVRApplicationType type, const char *)
{
    LOCKED;
    sim.events.push_back('I');
    if (type != vr::VRApplication_Scene) {
        *error = vr::VRInitError_Init_NotInitialized;
        return 0;
    }
    initialised = true;
    *error = vr::VRInitError_None;
    return 1;
}

SIMVR_EXPORT void VR_ShutdownInternal()
{
    LOCKED;
    sim.events.push_back('S');
    initialised = false;
}

SIMVR_EXPORT bool VR_IsInterfaceVersionValid(const char *version)
{
    LOCKED;
    if (std::strcmp(version, vr::IVRSystem_Version) == 0)
        return sim.offerSystem;
    return std::strcmp(version, vr::IVRCompositor_Version) == 0;
}

SIMVR_EXPORT void *VR_GetGenericInterface(const char *version, vr::EVRInitError *error)
{
    LOCKED;
    *error = vr::VRInitError_None;
    if (!initialised)
        *error = vr::VRInitError_Init_NotInitialized;
    else if (sim.offerSystem && std::strcmp(version, vr::IVRSystem_Version) == 0)
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
