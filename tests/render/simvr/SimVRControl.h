// The test-facing controls of the simulated OpenVR runtime (libopenvr_api.so
// built from SimVR.cpp), and SimVRClient, which resolves them with dlsym.
#pragma once

#include <cstdint>

extern "C" {
// Back to a fresh headset: identity valid pose, empty records, system offered.
typedef void (*simvr_reset_fn)();
// Row-major 3 x 4 device-to-tracking transform of the headset.
typedef void (*simvr_set_head_pose_fn)(const float *rowMajor3x4);
typedef void (*simvr_set_pose_valid_fn)(int valid);
// Whether "IVRSystem_019" is offered (a runtime of another version otherwise).
typedef void (*simvr_set_offer_system_fn)(int offered);
typedef int (*simvr_submit_count_fn)();
// Eye, GL texture name, texture type and colour space of submission index.
typedef int (*simvr_get_submit_fn)(int index, int *eye, uint32_t *texture, int *type, int *colorSpace,
                                   int *hadBounds, int *flags);
// Every runtime call in order: 'I' init, 'S' shutdown, 'L'/'R' submit of an
// eye, 'W' WaitGetPoses, 'P' projection query, 'E' eye-to-head query.
typedef int (*simvr_event_count_fn)();
typedef char (*simvr_event_fn)(int index);
typedef int (*simvr_is_initialised_fn)();
}

#include <dlfcn.h>

#include <cmath>
#include <string>

// The controls resolved from a loaded simulation. Opening the library by the
// name the VR code uses gives the very object it loaded (one per file).
struct SimVRClient {
    explicit SimVRClient(const char *library)
    {
        handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        reset = resolve<simvr_reset_fn>("simvr_reset");
        setHeadPose = resolve<simvr_set_head_pose_fn>("simvr_set_head_pose");
        setPoseValid = resolve<simvr_set_pose_valid_fn>("simvr_set_pose_valid");
        setOfferSystem = resolve<simvr_set_offer_system_fn>("simvr_set_offer_system");
        submitCount = resolve<simvr_submit_count_fn>("simvr_submit_count");
        getSubmit = resolve<simvr_get_submit_fn>("simvr_get_submit");
        eventCount = resolve<simvr_event_count_fn>("simvr_event_count");
        event = resolve<simvr_event_fn>("simvr_event");
        isInitialised = resolve<simvr_is_initialised_fn>("simvr_is_initialised");
    }
    bool ok() const
    {
        return handle && reset && setHeadPose && setPoseValid && setOfferSystem && submitCount && getSubmit &&
               eventCount && event && isInitialised;
    }

    // The recorded calls that are among `of`, in order, e.g. "LRWLRW".
    std::string events(const std::string &of)
    {
        std::string out;
        for (int i = 0; i < eventCount(); ++i)
            if (of.find(event(i)) != std::string::npos)
                out.push_back(event(i));
        return out;
    }
    int count(char which) { return static_cast<int>(events(std::string(1, which)).size()); }

    // Head at (x, y, z), turned by yaw about +y, then pitched about +x.
    void pose(float yawDegrees, float pitchDegrees, float x = 0, float y = 0, float z = 0)
    {
        const float a = yawDegrees * 3.14159265f / 180.0f, b = pitchDegrees * 3.14159265f / 180.0f;
        const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        const float m[12] = {ca, sa * sb, sa * cb, x, 0, cb, -sb, y, -sa, ca * sb, ca * cb, z};
        setHeadPose(m);
    }

    void *handle = nullptr;
    simvr_reset_fn reset = nullptr;
    simvr_set_head_pose_fn setHeadPose = nullptr;
    simvr_set_pose_valid_fn setPoseValid = nullptr;
    simvr_set_offer_system_fn setOfferSystem = nullptr;
    simvr_submit_count_fn submitCount = nullptr;
    simvr_get_submit_fn getSubmit = nullptr;
    simvr_event_count_fn eventCount = nullptr;
    simvr_event_fn event = nullptr;
    simvr_is_initialised_fn isInitialised = nullptr;

private:
    template <typename Fn> Fn resolve(const char *name) { return reinterpret_cast<Fn>(dlsym(handle, name)); }
};
