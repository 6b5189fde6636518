// Test and benchmark seam of HighResTimer: lets a caller see which sleeping
// strategy ran, drop the waitable timer and drive the counter by hand.
// Not part of the plug-in's interface; used by one thread with the timer.
#pragma once

#include "support/HighResTimer.h"

#include <cstdint>

struct HighResTimerProbe {
    struct Counts {
        uint32_t timerArms;   // waits that armed the timerfd
        uint32_t plainSleeps; // waits that fell back to sleepMs / clock_nanosleep
        int64_t lastPreciseNs; // length of the last precise wait handed to the kernel
    };
    // Reads the counter in nanoseconds; false when the read fails.
    using CounterFn = bool (*)(int64_t *ns);

    static Counts counts(const HighResTimer &timer);
    static void resetCounts(HighResTimer &timer);
    static bool hasWaitableTimer(const HighResTimer &timer);
    // Leaves the timer exactly as a failed timerfd_create does.
    static void dropWaitableTimer(HighResTimer &timer);
    // Replaces the monotonic clock (nullptr restores it); restarts the timer.
    static void setCounter(HighResTimer &timer, CounterFn counter);
};
