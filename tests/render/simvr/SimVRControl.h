// The state of the simulated OpenVR runtime (libopenvr_api.so built from
// SimVR.cpp) that tests read and set, and SimVRClient, which finds it with dlsym.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct SimVRSubmission {
    int eye, type, colorSpace, hadBounds, flags;
    uint32_t texture;
};

// Guarded by mutex.
struct SimVRState {
    std::mutex mutex;
    bool offerSystem = true; // "IVRSystem_019" offered (else a runtime of another version)
    float headPose[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}; // device to tracking, row-major
    std::vector<SimVRSubmission> submissions;
    std::string events; // the calls in order: 'I' init, 'S' shutdown, 'L'/'R' submit of an eye, 'W' WaitGetPoses
};

extern "C" SimVRState *simvr_state();

// Opening the library by the name the VR code uses gives the very object it
// loaded (one per file), so this reaches the runtime under test.
struct SimVRClient {
    explicit SimVRClient(const char *library)
    {
        if (void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL))
            if (auto find = reinterpret_cast<decltype(&simvr_state)>(dlsym(handle, "simvr_state")))
                state = find();
    }
    bool ok() const { return state; }

    // Back to a fresh headset, at the tracking origin, with empty records.
    void reset(bool offerSystem)
    {
        pose(0, 0, 0, 0, 0);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->offerSystem = offerSystem;
        state->submissions.clear();
        state->events.clear();
    }
    // The recorded calls that are among `of`, in order, e.g. "LRWLRW".
    std::string events(const std::string &of)
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        std::string out;
        for (char e : state->events)
            if (of.find(e) != std::string::npos)
                out.push_back(e);
        return out;
    }
    int submitCount() { return int(submissions().size()); }
    std::vector<SimVRSubmission> submissions()
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        return state->submissions;
    }
    // Head at (x, y, z), turned by yaw about +y, then pitched about +x.
    void pose(float yawDegrees, float pitchDegrees, float x, float y, float z)
    {
        const float a = yawDegrees * 3.14159265f / 180.0f, b = pitchDegrees * 3.14159265f / 180.0f;
        const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        const float m[3][4] = {{ca, sa * sb, sa * cb, x}, {0, cb, -sb, y}, {-sa, ca * sb, ca * cb, z}};
        std::lock_guard<std::mutex> lock(state->mutex);
        std::copy(&m[0][0], &m[0][0] + 12, &state->headPose[0][0]);
    }

    SimVRState *state = nullptr;
};
