// A simulated OpenVR runtime for the tests: exports the client library's C
// entry points and hands out interface objects with the runtime's slot layout.
// Its headset has a recommended eye size of 864 x 960, a 90-degree symmetric
// projection, eyes 64 mm apart and a settable pose; it records the calls that
// matter to the tests. WaitGetPoses blocks to the next 90 Hz frame, as a real
// compositor does: without it the render loop would spin and take the CPU
// the decoder needs. All state is guarded by simMutex.
#include "SimVRControl.h"
#include "render/OpenVRApi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#define SIMVR_EXPORT extern "C" __attribute__((visibility("default")))
#define LOCKED std::lock_guard<std::mutex> guard(simMutex)

namespace {

const vr::HmdMatrix34_t kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

std::mutex simMutex;
bool initialised = false;
bool offerSystem = true;
uint32_t initToken = 1;
bool poseValid = true;
vr::HmdMatrix34_t headPose = kIdentity;
std::vector<SimVRSubmission> submissions;
std::string events;
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
        events.push_back('W');
        for (uint32_t n = 0; n < renderPoseCount; ++n) {
            std::memset(&renderPoses[n], 0, sizeof(renderPoses[n]));
            renderPoses[n].eTrackingResult = vr::TrackingResult_Uninitialized;
        }
        if (renderPoseCount > 0) {
            renderPoses[0].mDeviceToAbsoluteTracking = headPose;
            renderPoses[0].eTrackingResult = vr::TrackingResult_Running_OK;
            renderPoses[0].bPoseIsValid = poseValid;
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
        events.push_back(eye == vr::Eye_Left ? 'L' : 'R');
        submissions.push_back({eye, texture->eType, texture->eColorSpace, bounds != nullptr, flags,
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
    events.push_back('I');
    if (type != vr::VRApplication_Scene) {
        *error = vr::VRInitError_Init_NotInitialized;
        return 0;
    }
    initialised = true;
    *error = vr::VRInitError_None;
    return ++initToken;
}

SIMVR_EXPORT void VR_ShutdownInternal()
{
    LOCKED;
    events.push_back('S');
    initialised = false;
    ++initToken;
}

SIMVR_EXPORT bool VR_IsInterfaceVersionValid(const char *version)
{
    LOCKED;
    if (std::strcmp(version, vr::IVRSystem_Version) == 0)
        return offerSystem;
    return std::strcmp(version, vr::IVRCompositor_Version) == 0;
}

SIMVR_EXPORT void *VR_GetGenericInterface(const char *version, vr::EVRInitError *error)
{
    LOCKED;
    *error = vr::VRInitError_None;
    if (!initialised)
        *error = vr::VRInitError_Init_NotInitialized;
    else if (offerSystem && std::strcmp(version, vr::IVRSystem_Version) == 0)
        return static_cast<vr::IVRSystem *>(&simSystem);
    else if (std::strcmp(version, vr::IVRCompositor_Version) == 0)
        return static_cast<vr::IVRCompositor *>(&simCompositor);
    else
        *error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}

SIMVR_EXPORT uint32_t VR_GetInitToken()
{
    LOCKED;
    return initToken;
}

SIMVR_EXPORT void simvr_reset(int offer)
{
    LOCKED;
    offerSystem = offer != 0;
    poseValid = true;
    headPose = kIdentity;
    submissions.clear();
    events.clear();
}

SIMVR_EXPORT void simvr_set_head_pose(const float *rowMajor3x4, int valid)
{
    LOCKED;
    std::memcpy(headPose.m, rowMajor3x4, sizeof(headPose.m));
    poseValid = valid != 0;
}

SIMVR_EXPORT int simvr_submissions(SimVRSubmission *out, int size)
{
    LOCKED;
    std::copy_n(submissions.begin(), std::min(submissions.size(), static_cast<size_t>(std::max(size, 0))), out);
    return static_cast<int>(submissions.size());
}

SIMVR_EXPORT int simvr_events(char *out, int size)
{
    LOCKED;
    if (size > 0) {
        const size_t n = std::min(events.size(), static_cast<size_t>(size - 1));
        events.copy(out, n);
        out[n] = '\0';
    }
    return static_cast<int>(events.size());
}
