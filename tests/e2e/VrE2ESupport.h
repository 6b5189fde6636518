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

namespace vre2e {

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

    SimVRClient sim{PLA_SIMVR_LIBRARY};
};

inline QString describe(const QColor &c)
{
    return QString("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace vre2e

