// HighResTimer: elapsed time on a hand-driven counter, and waits on the real
// clock that end at their deadline, with the timerfd and without it.
#include "support/HighResTimerProbe.h"

#include <gtest/gtest.h>

#include <algorithm>

int64_t g_fakeNs = 0;

TEST(HighResTimer, ElapsedDropsRemaindersAndDoesNotOverflow)
{
    HighResTimer timer;
    g_fakeNs = 5000000000LL;
    HighResTimerProbe::setCounter(timer, [](int64_t *ns) { *ns = g_fakeNs; return true; });
    g_fakeNs += 1999999999; // just under 2 s
    EXPECT_EQ(timer.elapsedMs(), 1999u);
    // Three hours: the naive (now - start) * 1000000 would overflow 64 bits.
    g_fakeNs = 5000000000LL + 3LL * 3600 * 1000000000 + 123456789;
    EXPECT_EQ(timer.elapsedUs(), 3ull * 3600 * 1000000 + 123456);
}

// Each wait, timed by msTicks, lasts at least its time and ends within 10 ms in
// the best of three tries (a busy machine wakes late now and then). A wait that
// never ends (a disarmed timerfd, a far deadline read as negative) times out.
TEST(HighResTimer, WaitsEndAtTheirDeadline)
{
    const std::pair<void (*)(HighResTimer &), uint64_t> waits[] = {
        {[](HighResTimer &t) { t.preciseSleep(2); }, 2},
        {[](HighResTimer &t) { t.sleepUntil(20); }, 20},
        {[](HighResTimer &t) { t.preciseSleep(260); }, 260}, // long: no precision needed
        {[](HighResTimer &t) { t.coarseSleep(1005); }, 1005}, // seconds and the rest
        {[](HighResTimer &t) { t.coarseSleep(0); }, 0},
        {[](HighResTimer &t) { sleepMs(30); t.sleepUntil(25); t.sleepUntil(0); }, 30}, // passed
        {[](HighResTimer &t) { sleepMs(20); t.sleepUntil(40); }, 40}, // what is left
        {[](HighResTimer &t) { t.sleepUntil(0x80000000ull + t.elapsedMs()); t.sleepUntil(1ull << 40); }, 0},
        {[](HighResTimer &t) { t.sleepUntilThenRestart(30); t.sleepUntil(10); }, 40},
    };
    for (bool timerfd : {true, false}) {
        for (size_t i = 0; i < sizeof waits / sizeof waits[0]; ++i) {
            SCOPED_TRACE("wait " + std::to_string(i) + (timerfd ? "" : " without the timerfd"));
            uint64_t best = UINT64_MAX;
            for (int attempt = 0; attempt < 3 && best >= waits[i].second + 10; ++attempt) {
                HighResTimer timer;
                if (!timerfd)
                    HighResTimerProbe::dropWaitableTimer(timer);
                const uint64_t start = msTicks();
                timer.restart();
                waits[i].first(timer);
                const uint64_t ms = msTicks() - start;
                EXPECT_GE(ms, waits[i].second) << "woke early";
                best = std::min(best, ms);
            }
            EXPECT_LT(best, waits[i].second + 10);
        }
    }
}
