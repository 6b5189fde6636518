// The test-facing controls of the simulated OpenVR runtime (libopenvr_api.so
// built from SimVR.cpp), and SimVRClient, which resolves them with dlsym.
#pragma once

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct SimVRSubmission {
    int eye, type, colorSpace, hadBounds, flags;
    uint32_t texture;
};

extern "C" {
// Back to a fresh headset: identity valid pose, empty records; offer says
// whether "IVRSystem_019" is offered (a runtime of another version otherwise).
void simvr_reset(int offer);
// Row-major 3 x 4 device-to-tracking transform of the headset.
void simvr_set_head_pose(const float *rowMajor3x4, int valid);
// Both copy at most size records into out and return how many there are.
int simvr_submissions(SimVRSubmission *out, int size);
// The calls in order: 'I' init, 'S' shutdown, 'L'/'R' submit of an eye, 'W'
// WaitGetPoses; NUL-terminated.
int simvr_events(char *out, int size);
}

// Opening the library by the name the VR code uses gives the very object it
// loaded (one per file), so these controls reach the runtime under test.
struct SimVRClient {
    explicit SimVRClient(const char *library) : handle(dlopen(library, RTLD_NOW | RTLD_LOCAL)) {}
    bool ok() const { return reset && setHeadPose && copySubmissions && copyEvents; }

    // The recorded calls that are among `of`, in order, e.g. "LRWLRW".
    std::string events(const std::string &of)
    {
        std::string all(static_cast<size_t>(copyEvents(nullptr, 0)) + 1, '\0'), out;
        copyEvents(&all[0], static_cast<int>(all.size()));
        for (const char *e = all.c_str(); *e; ++e)
            if (of.find(*e) != std::string::npos)
                out.push_back(*e);
        return out;
    }
    int submitCount() { return copySubmissions(nullptr, 0); }
    std::vector<SimVRSubmission> submissions()
    {
        std::vector<SimVRSubmission> all(static_cast<size_t>(submitCount()));
        copySubmissions(all.data(), static_cast<int>(all.size()));
        return all;
    }
    // Head at (x, y, z), turned by yaw about +y, then pitched about +x.
    void pose(float yawDegrees, float pitchDegrees, float x, float y, float z, bool valid = true)
    {
        const float a = yawDegrees * 3.14159265f / 180.0f, b = pitchDegrees * 3.14159265f / 180.0f;
        const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        const float m[12] = {ca, sa * sb, sa * cb, x, 0, cb, -sb, y, -sa, ca * sb, ca * cb, z};
        setHeadPose(m, valid);
    }

    void *handle;
#define SIMVR_CONTROL(member, name)                                                                                    \
    decltype(&::name) member = handle ? reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)) : nullptr
    SIMVR_CONTROL(reset, simvr_reset);
    SIMVR_CONTROL(setHeadPose, simvr_set_head_pose);
    SIMVR_CONTROL(copySubmissions, simvr_submissions);
    SIMVR_CONTROL(copyEvents, simvr_events);
#undef SIMVR_CONTROL
};
