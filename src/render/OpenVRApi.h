// The subset of the OpenVR interfaces the VR mode calls, declared to match the
// runtime's binary layout (x86-64, GCC/Clang Itanium ABI). Header only; the
// runtime library itself is opened at run time by OpenVRLoader.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vr {

constexpr uint32_t k_unMaxTrackedDeviceCount = 64;
constexpr uint32_t k_unTrackedDeviceIndex_Hmd = 0;
constexpr const char *IVRSystem_Version = "IVRSystem_019";
constexpr const char *IVRCompositor_Version = "IVRCompositor_022";

enum EVREye { Eye_Left = 0, Eye_Right = 1 };
enum ETextureType { TextureType_OpenGL = 1 };
enum EColorSpace { ColorSpace_Auto = 0, ColorSpace_Gamma = 1, ColorSpace_Linear = 2 };
enum EVRApplicationType { VRApplication_Other = 0, VRApplication_Scene = 1 };
enum EVRSubmitFlags { Submit_Default = 0 };
enum ETrackingResult { TrackingResult_Uninitialized = 1, TrackingResult_Running_OK = 200 };
enum EVRInitError {
    VRInitError_None = 0,
    VRInitError_Init_InstallationNotFound = 100,
    VRInitError_Init_InterfaceNotFound = 105,
    VRInitError_Init_NotInitialized = 109,
};
enum EVRCompositorError { VRCompositorError_None = 0 };

struct HmdMatrix34_t {
    float m[3][4]; // row-major, translation in column 3
};
struct HmdMatrix44_t {
    float m[4][4]; // row-major
};
struct HmdVector3_t {
    float v[3];
};
struct Texture_t {
    void *handle; // GL texture name widened through uintptr_t
    ETextureType eType;
    EColorSpace eColorSpace;
};
struct VRTextureBounds_t {
    float uMin, vMin;
    float uMax, vMax;
};
struct TrackedDevicePose_t {
    HmdMatrix34_t mDeviceToAbsoluteTracking;
    HmdVector3_t vVelocity;
    HmdVector3_t vAngularVelocity;
    ETrackingResult eTrackingResult;
    bool bPoseIsValid;
    bool bDeviceIsConnected;
};

// "IVRSystem_019". Slots are declared in order up to the last one called; the
// placeholders keep the later slots at their offsets and are never called.
// There is no virtual destructor: the runtime's class has none, and one here
// would shift every slot.
class IVRSystem {
public:
    virtual void GetRecommendedRenderTargetSize(uint32_t *width, uint32_t *height) = 0;
    virtual HmdMatrix44_t GetProjectionMatrix(EVREye eye, float nearZ, float farZ) = 0;
    virtual void GetProjectionRaw_NotCalled() = 0;
    virtual bool ComputeDistortion_NotCalled() = 0;
    virtual HmdMatrix34_t GetEyeToHeadTransform(EVREye eye) = 0;

protected:
    ~IVRSystem() = default;
};

// "IVRCompositor_022", slots 0..5 of its layout.
class IVRCompositor {
public:
    virtual void SetTrackingSpace_NotCalled() = 0;
    virtual int GetTrackingSpace_NotCalled() = 0;
    virtual EVRCompositorError WaitGetPoses(TrackedDevicePose_t *renderPoses, uint32_t renderPoseCount,
                                            TrackedDevicePose_t *gamePoses, uint32_t gamePoseCount) = 0;
    virtual EVRCompositorError GetLastPoses_NotCalled() = 0;
    virtual EVRCompositorError GetLastPoseForTrackedDeviceIndex_NotCalled() = 0;
    virtual EVRCompositorError Submit(EVREye eye, const Texture_t *texture, const VRTextureBounds_t *bounds,
                                      EVRSubmitFlags flags) = 0;

protected:
    ~IVRCompositor() = default;
};

static_assert(sizeof(EVREye) == 4 && sizeof(ETextureType) == 4 && sizeof(EColorSpace) == 4 &&
                  sizeof(EVRInitError) == 4 && sizeof(ETrackingResult) == 4 && sizeof(EVRSubmitFlags) == 4,
              "OpenVR enums are 4-byte integers");
static_assert(sizeof(HmdMatrix34_t) == 48 && offsetof(HmdMatrix34_t, m) == 0, "HmdMatrix34_t layout");
static_assert(sizeof(HmdMatrix44_t) == 64 && offsetof(HmdMatrix44_t, m) == 0, "HmdMatrix44_t layout");
static_assert(sizeof(HmdVector3_t) == 12 && offsetof(HmdVector3_t, v) == 0, "HmdVector3_t layout");
static_assert(sizeof(Texture_t) == 16 && alignof(Texture_t) == 8, "Texture_t size");
static_assert(offsetof(Texture_t, handle) == 0 && offsetof(Texture_t, eType) == 8 &&
                  offsetof(Texture_t, eColorSpace) == 12,
              "Texture_t layout");
static_assert(sizeof(VRTextureBounds_t) == 16 && offsetof(VRTextureBounds_t, uMin) == 0 &&
                  offsetof(VRTextureBounds_t, vMin) == 4 && offsetof(VRTextureBounds_t, uMax) == 8 &&
                  offsetof(VRTextureBounds_t, vMax) == 12,
              "VRTextureBounds_t layout");
static_assert(sizeof(TrackedDevicePose_t) == 80, "TrackedDevicePose_t size");
static_assert(offsetof(TrackedDevicePose_t, mDeviceToAbsoluteTracking) == 0 &&
                  offsetof(TrackedDevicePose_t, vVelocity) == 48 &&
                  offsetof(TrackedDevicePose_t, vAngularVelocity) == 60 &&
                  offsetof(TrackedDevicePose_t, eTrackingResult) == 72 &&
                  offsetof(TrackedDevicePose_t, bPoseIsValid) == 76 &&
                  offsetof(TrackedDevicePose_t, bDeviceIsConnected) == 77,
              "TrackedDevicePose_t layout");

} // namespace vr
