// The state of the simulated OpenVR runtime (SimVR.cpp) that tests read and
// set, on the painting thread between paints: no lock.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct SimVRSubmission {
    int eye;
    uint32_t texture;
};

struct SimVRState {
    float headPose[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}; // device to tracking, row-major
    std::vector<SimVRSubmission> submissions;
    std::string events; // 'I' for an init, 'S' for a shutdown, in order

    // Back to a fresh headset at the tracking origin, with empty records.
    void reset() { *this = SimVRState(); }
    // The head at (x, y, z), turned by yaw about +y (to the left).
    void pose(float yawDegrees, float x, float y, float z)
    {
        const float a = yawDegrees * 3.14159265f / 180.0f, c = std::cos(a), s = std::sin(a);
        const float m[3][4] = {{c, 0, s, x}, {0, 1, 0, y}, {-s, 0, c, z}};
        std::copy(&m[0][0], &m[0][0] + 12, &headPose[0][0]);
    }
};

extern "C" SimVRState *simvr_state();

// The state in the library of that name; null when it is not found.
inline SimVRState *openSimVR(const char *library)
{
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    auto find = handle ? reinterpret_cast<decltype(&simvr_state)>(dlsym(handle, "simvr_state")) : nullptr;
    return find ? find() : nullptr;
}
