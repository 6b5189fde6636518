// A simulated OpenVR runtime for the tests: exports the client library's C
// entry points and hands out interface objects with the runtime's slot layout.
// Its headset has a recommended eye size of 864 x 960, a 90-degree symmetric
// projection, eyes 64 mm apart, a settable pose and a 90 Hz frame pace; it
// records every call for the tests. All state is guarded by one mutex.
#include "render/OpenVRApi.h"
#include "SimVRControl.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define SIMVR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Submission {
    int eye;
    uint32_t texture;
    int type;
    int colorSpace;
    int hadBounds;
    int flags;
};

std::mutex simMutex;
bool initialised = false;
bool offerSystem = true;
uint32_t initToken = 1;
bool poseValid = true;
vr::HmdMatrix34_t headPose = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
std::vector<Submission> submissions;
std::string events;
std::chrono::steady_clock::time_point nextFrame;

void record(char event)
{
    events.push_back(event);
}

class SimSystem final : public vr::IVRSystem {
public:
    void GetRecommendedRenderTargetSize(uint32_t *width, uint32_t *height) override
    {
        *width = 864;
        *height = 960;
    }

    vr::HmdMatrix44_t GetProjectionMatrix(vr::EVREye, float nearZ, float farZ) override
    {
        std::lock_guard<std::mutex> guard(simMutex);
        record('P');
        // 90 degrees across, square pixels over the 864 x 960 target.
        const float sx = 1.0f;
        const float sy = 960.0f / 864.0f;
        vr::HmdMatrix44_t m = {{{sx, 0, 0, 0},
                                {0, sy, 0, 0},
                                {0, 0, -(farZ + nearZ) / (farZ - nearZ), -2.0f * farZ * nearZ / (farZ - nearZ)},
                                {0, 0, -1, 0}}};
        return m;
    }

    void GetProjectionRaw_NotCalled() override {}
    bool ComputeDistortion_NotCalled() override { return false; }

    vr::HmdMatrix34_t GetEyeToHeadTransform(vr::EVREye eye) override
    {
        std::lock_guard<std::mutex> guard(simMutex);
        record('E');
        const float x = eye == vr::Eye_Left ? -0.032f : 0.032f;
        vr::HmdMatrix34_t m = {{{1, 0, 0, x}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
        return m;
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
            std::lock_guard<std::mutex> guard(simMutex);
            record('W');
            const auto now = std::chrono::steady_clock::now();
            const auto period = std::chrono::microseconds(11111);
            nextFrame = nextFrame < now - period ? now + period : nextFrame + period;
            wakeUp = nextFrame;
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
        }
        std::this_thread::sleep_until(wakeUp);
        return vr::VRCompositorError_None;
    }

    vr::EVRCompositorError GetLastPoses_NotCalled() override { return vr::VRCompositorError_None; }
    vr::EVRCompositorError GetLastPoseForTrackedDeviceIndex_NotCalled() override
    {
        return vr::VRCompositorError_None;
    }

    vr::EVRCompositorError Submit(vr::EVREye eye, const vr::Texture_t *texture, const vr::VRTextureBounds_t *bounds,
                                  vr::EVRSubmitFlags flags) override
    {
        std::lock_guard<std::mutex> guard(simMutex);
        record(eye == vr::Eye_Left ? 'L' : 'R');
        Submission s;
        s.eye = eye;
        s.texture = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(texture->handle));
        s.type = texture->eType;
        s.colorSpace = texture->eColorSpace;
        s.hadBounds = bounds != nullptr;
        s.flags = flags;
        submissions.push_back(s);
        return vr::VRCompositorError_None;
    }
};

SimSystem simSystem;
SimCompositor simCompositor;

} // namespace

SIMVR_EXPORT uint32_t VR_InitInternal2(vr::EVRInitError *error, vr::EVRApplicationType type, const char *)
{
    std::lock_guard<std::mutex> guard(simMutex);
    record('I');
    if (type != vr::VRApplication_Scene) {
        *error = vr::VRInitError_Init_NotInitialized;
        return 0;
    }
    initialised = true;
    ++initToken;
    *error = vr::VRInitError_None;
    return initToken;
}

SIMVR_EXPORT uint32_t VR_InitInternal(vr::EVRInitError *error, vr::EVRApplicationType type)
{
    return VR_InitInternal2(error, type, nullptr);
}

SIMVR_EXPORT void VR_ShutdownInternal()
{
    std::lock_guard<std::mutex> guard(simMutex);
    record('S');
    initialised = false;
    ++initToken;
}

SIMVR_EXPORT bool VR_IsInterfaceVersionValid(const char *version)
{
    std::lock_guard<std::mutex> guard(simMutex);
    if (std::strcmp(version, vr::IVRSystem_Version) == 0)
        return offerSystem;
    return std::strcmp(version, vr::IVRCompositor_Version) == 0;
}

SIMVR_EXPORT void *VR_GetGenericInterface(const char *version, vr::EVRInitError *error)
{
    std::lock_guard<std::mutex> guard(simMutex);
    if (!initialised) {
        *error = vr::VRInitError_Init_NotInitialized;
        return nullptr;
    }
    *error = vr::VRInitError_None;
    if (offerSystem && std::strcmp(version, vr::IVRSystem_Version) == 0)
        return static_cast<vr::IVRSystem *>(&simSystem);
    if (std::strcmp(version, vr::IVRCompositor_Version) == 0)
        return static_cast<vr::IVRCompositor *>(&simCompositor);
    *error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
}

SIMVR_EXPORT uint32_t VR_GetInitToken()
{
    std::lock_guard<std::mutex> guard(simMutex);
    return initToken;
}

SIMVR_EXPORT void simvr_reset()
{
    std::lock_guard<std::mutex> guard(simMutex);
    offerSystem = true;
    poseValid = true;
    headPose = vr::HmdMatrix34_t{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
    submissions.clear();
    events.clear();
}

SIMVR_EXPORT void simvr_set_head_pose(const float *rowMajor3x4)
{
    std::lock_guard<std::mutex> guard(simMutex);
    std::memcpy(headPose.m, rowMajor3x4, sizeof(headPose.m));
}

SIMVR_EXPORT void simvr_set_pose_valid(int valid)
{
    std::lock_guard<std::mutex> guard(simMutex);
    poseValid = valid != 0;
}

SIMVR_EXPORT void simvr_set_offer_system(int offered)
{
    std::lock_guard<std::mutex> guard(simMutex);
    offerSystem = offered != 0;
}

SIMVR_EXPORT int simvr_submit_count()
{
    std::lock_guard<std::mutex> guard(simMutex);
    return static_cast<int>(submissions.size());
}

SIMVR_EXPORT int simvr_get_submit(int index, int *eye, uint32_t *texture, int *type, int *colorSpace, int *hadBounds,
                                  int *flags)
{
    std::lock_guard<std::mutex> guard(simMutex);
    if (index < 0 || index >= static_cast<int>(submissions.size()))
        return 0;
    const Submission &s = submissions[static_cast<size_t>(index)];
    *eye = s.eye;
    *texture = s.texture;
    *type = s.type;
    *colorSpace = s.colorSpace;
    *hadBounds = s.hadBounds;
    *flags = s.flags;
    return 1;
}

SIMVR_EXPORT int simvr_event_count()
{
    std::lock_guard<std::mutex> guard(simMutex);
    return static_cast<int>(events.size());
}

SIMVR_EXPORT char simvr_event(int index)
{
    std::lock_guard<std::mutex> guard(simMutex);
    if (index < 0 || index >= static_cast<int>(events.size()))
        return 0;
    return events[static_cast<size_t>(index)];
}

SIMVR_EXPORT int simvr_is_initialised()
{
    std::lock_guard<std::mutex> guard(simMutex);
    return initialised ? 1 : 0;
}
