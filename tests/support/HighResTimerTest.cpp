#include "support/HighResTimerProbe.h"

#include <gtest/gtest.h>

#include <algorithm>

int64_t g_fakeNs = 0;

TEST(HighResTimer, ElapsedDropsRemaindersAndPreciseWaitsEndAtTheInstant)
{
    HighResTimer timer;
    g_fakeNs = 5000000000LL;
    HighResTimerProbe::setCounter(timer, [](int64_t *ns) { *ns = g_fakeNs; return true; });
    g_fakeNs += 1999999999;
    EXPECT_EQ(timer.elapsedMs(), 1999u);
    g_fakeNs = 5000000000LL + 3LL * 3600 * 1000000000 + 123456789; // three hours: no 64-bit overflow
    EXPECT_EQ(timer.elapsedUs(), 3ull * 3600 * 1000000 + 123456);
    // 2.999 ms into a 5 ms period the wait is 2.001 ms, not the 3 whole ms left.
    for (bool timerfd : {true, false}) {
        if (!timerfd)
            HighResTimerProbe::dropWaitableTimer(timer);
        g_fakeNs = 0;
        timer.restart();
        g_fakeNs = 2999000;
        timer.sleepUntil(5);
        EXPECT_EQ(HighResTimerProbe::counts(timer).lastPreciseNs, 2001000) << "timerfd " << timerfd;
    }
}

// At least its time, and within twice a plain sleep's wake-up delay just before (best of three).
TEST(HighResTimer, WaitsEndAtTheirDeadline)
{
    const std::pair<void (*)(HighResTimer &), uint64_t> waits[] = {
        {[](HighResTimer &t) { t.preciseSleep(2); }, 2},
        {[](HighResTimer &t) { t.sleepUntil(20); }, 20},
        {[](HighResTimer &t) { t.preciseSleep(260); }, 260},
        {[](HighResTimer &t) { t.coarseSleep(1005); }, 1005}, // seconds and the rest
        {[](HighResTimer &t) { t.coarseSleep(0); }, 0},
        {[](HighResTimer &t) { sleepMs(30); t.sleepUntil(25); t.sleepUntil(0); }, 30}, // passed
        {[](HighResTimer &t) { sleepMs(20); t.sleepUntil(40); }, 40}, // what is left
        {[](HighResTimer &t) { t.sleepUntil(0x80000000ull + t.elapsedMs()); t.sleepUntil(1ull << 40); }, 0},
        {[](HighResTimer &t) { t.sleepUntilThenRestart(30); t.sleepUntil(10); }, 40},
    };
    auto timed = [](auto &&wait) {
        const uint64_t start = msTicks();
        wait();
        return msTicks() - start;
    };
    for (bool timerfd : {true, false}) {
        for (size_t i = 0; i < std::size(waits); ++i) {
            SCOPED_TRACE("wait " + std::to_string(i) + (timerfd ? "" : " without the timerfd"));
            const uint64_t ms = waits[i].second;
            int64_t excess = INT64_MAX;
            for (int attempt = 0; attempt < 3 && excess > 0; ++attempt) {
                const uint64_t reference = timed([&] { sleepMs(uint32_t(ms)); });
                HighResTimer timer;
                if (!timerfd)
                    HighResTimerProbe::dropWaitableTimer(timer);
                const uint64_t took = timed([&] {
                    timer.restart();
                    waits[i].first(timer);
                });
                EXPECT_GE(took, ms) << "woke early";
                const int64_t allowed = 5 + int64_t(ms / 8) + 2 * int64_t(reference - ms);
                excess = std::min(excess, int64_t(took - ms) - allowed);
            }
            EXPECT_LE(excess, 0);
        }
    }
}
