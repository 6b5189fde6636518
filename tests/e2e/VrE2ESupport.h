// The simulated OpenVR runtime (tests/render/simvr) as the VR end-to-end tests
// drive it, and their fixture. GUI thread only.
#pragma once

#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include "SimVRControl.h"

#include <QColor>
#include <QString>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>

namespace vre2e {

// The controls of the simulated runtime, from the library object the plug-in
// itself opens.
struct SimRuntime {
    SimRuntime()
    {
        handle = dlopen(PLA_SIMVR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        reset = reinterpret_cast<simvr_reset_fn>(dlsym(handle, "simvr_reset"));
        setHeadPose = reinterpret_cast<simvr_set_head_pose_fn>(dlsym(handle, "simvr_set_head_pose"));
        submitCount = reinterpret_cast<simvr_submit_count_fn>(dlsym(handle, "simvr_submit_count"));
        getSubmit = reinterpret_cast<simvr_get_submit_fn>(dlsym(handle, "simvr_get_submit"));
        eventCount = reinterpret_cast<simvr_event_count_fn>(dlsym(handle, "simvr_event_count"));
        event = reinterpret_cast<simvr_event_fn>(dlsym(handle, "simvr_event"));
        isInitialised = reinterpret_cast<simvr_is_initialised_fn>(dlsym(handle, "simvr_is_initialised"));
    }
    bool ok() const { return handle && reset && setHeadPose && submitCount && getSubmit && event && isInitialised; }

    int count(char which)
    {
        int n = 0;
        for (int i = 0; i < eventCount(); ++i)
            n += event(i) == which;
        return n;
    }

    // Head at the sphere's centre (0, -1, -3), turned by yaw about +y.
    void lookFromCentre(float yawDegrees)
    {
        const float a = yawDegrees * 3.14159265f / 180.0f;
        const float m[12] = {std::cos(a), 0, std::sin(a), 0, 0, 1, 0, -1, -std::sin(a), 0, std::cos(a), -3};
        setHeadPose(m);
    }

    void *handle = nullptr;
    simvr_reset_fn reset = nullptr;
    simvr_set_head_pose_fn setHeadPose = nullptr;
    simvr_submit_count_fn submitCount = nullptr;
    simvr_get_submit_fn getSubmit = nullptr;
    simvr_event_count_fn eventCount = nullptr;
    simvr_event_fn event = nullptr;
    simvr_is_initialised_fn isInitialised = nullptr;
};

class VrE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
        ASSERT_TRUE(sim.ok()) << "simulated runtime not found: " << dlerror();
        sim.reset();
    }

    // Waits until the headset has been given `frames` more frames.
    bool waitForFrames(int frames, int timeoutMs = 20000)
    {
        const int target = sim.submitCount() + 2 * frames;
        return waitFor([&] { return sim.submitCount() >= target; }, timeoutMs);
    }

    SimRuntime sim;
};

inline QString describe(const QColor &c)
{
    return QString("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace vre2e

