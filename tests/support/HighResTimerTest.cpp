// HighResTimer: elapsed-time arithmetic on a hand-driven counter, and which
// sleeping strategy each wait takes (observed through HighResTimerProbe).
#include "support/HighResTimer.h"
#include "support/HighResTimerProbe.h"

#include <gtest/gtest.h>

namespace {

int64_t g_fakeNs = 0;
int64_t g_fakeStepNs = 0;
bool g_fakeFails = false;

bool fakeCounter(int64_t *ns)
{
    if (g_fakeFails)
        return false;
    g_fakeNs += g_fakeStepNs;
    *ns = g_fakeNs;
    return true;
}

void useFakeCounter(HighResTimer &timer, int64_t startNs, int64_t stepNs = 0)
{
    g_fakeNs = startNs;
    g_fakeStepNs = 0;
    g_fakeFails = false;
    HighResTimerProbe::setCounter(timer, fakeCounter);
    g_fakeStepNs = stepNs;
}

TEST(HighResTimer, ElapsedDropsRemaindersAndDoesNotOverflow)
{
    HighResTimer timer;
    useFakeCounter(timer, 5000000000LL);
    g_fakeNs += 1999999999; // just under 2 s
    EXPECT_EQ(timer.elapsedMs(), 1999u);
    EXPECT_EQ(timer.elapsedUs(), 1999999u);

    // Three hours: the naive (now - start) * 1000000 would overflow 64 bits.
    g_fakeNs = 5000000000LL + 3LL * 3600 * 1000000000 + 123456789;
    EXPECT_EQ(timer.elapsedUs(), 3ull * 3600 * 1000000 + 123456);
    EXPECT_EQ(timer.elapsedMs(), 3ull * 3600 * 1000 + 123);

    g_fakeFails = true;
    EXPECT_EQ(timer.elapsedMs(), 0u);
    EXPECT_EQ(timer.elapsedUs(), 0u);
    g_fakeFails = false;
    timer.restart();
    g_fakeNs += 7000000;
    EXPECT_EQ(timer.elapsedMs(), 7u);
}

TEST(HighResTimer, RealClockIsMonotonicAndAgreesWithMsTicks)
{
    HighResTimer timer;
    const uint64_t ticksBefore = msTicks();
    uint64_t previous = 0;
    for (int i = 0; i < 1000; ++i) {
        const uint64_t us = timer.elapsedUs();
        ASSERT_GE(us, previous);
        previous = us;
    }
    sleepMs(20);
    EXPECT_GE(timer.elapsedUs(), 20000u);
    EXPECT_GE(msTicks() - ticksBefore, 20u);
}

// One wait on a fresh timer and the strategy it must take: how often the
// timerfd was armed and how often a plain sleep stood in for it.
struct Wait {
    const char *what;
    bool withTimer;
    void (*run)(HighResTimer &);
    uint32_t atLeastMs, arms, plainSleeps;
};

TEST(HighResTimer, SleepingStrategies)
{
    const Wait waits[] = {
        {"sleepUntil a time that has passed", true, [](HighResTimer &t) {
             sleepMs(7);
             t.sleepUntil(5);
             t.sleepUntil(0);
             // Remaining times that read as non-positive 32-bit values are not slept.
             t.sleepUntil(0x80000000ull + t.elapsedMs());
             t.sleepUntil(1ull << 40);
         }, 0, 0, 0},
        {"preciseSleep(2) arms once", true, [](HighResTimer &t) { t.preciseSleep(2); }, 2, 1, 0},
        {"sleepUntil(20) arms once", true, [](HighResTimer &t) { t.sleepUntil(20); }, 20, 1, 0},
        {"preciseSleep(250) arms once", true, [](HighResTimer &t) { t.preciseSleep(250); }, 250, 1, 0},
        // Seconds and the rest go into separate fields of the timer value; a bad
        // split makes arming fail and shows as a plain sleep.
        {"coarseSleep(1005)", true, [](HighResTimer &t) { t.coarseSleep(1005); }, 1005, 1, 0},
        {"coarseSleep(0) keeps armed", true, [](HighResTimer &t) { t.coarseSleep(0); }, 0, 1, 0},
        {"no timer: preciseSleep(10)", false, [](HighResTimer &t) { t.preciseSleep(10); }, 10, 0, 1},
        {"no timer: sleepUntil(260)", false, [](HighResTimer &t) { t.sleepUntil(260); }, 260, 0, 1},
    };
    for (const Wait &w : waits) {
        SCOPED_TRACE(w.what);
        HighResTimer timer;
        ASSERT_TRUE(HighResTimerProbe::hasWaitableTimer(timer));
        if (!w.withTimer)
            HighResTimerProbe::dropWaitableTimer(timer);
        HighResTimerProbe::resetCounts(timer);
        timer.restart();
        w.run(timer);
        EXPECT_GE(timer.elapsedMs(), w.atLeastMs);
        const HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);
        EXPECT_EQ(counts.timerArms, w.arms);
        EXPECT_EQ(counts.plainSleeps, w.plainSleeps);
    }
}

TEST(HighResTimer, SleepUntilThenRestartStartsTheNextPassAtTheWakeUp)
{
    HighResTimer timer;
    useFakeCounter(timer, 0, 1000000); // every read moves the clock by 1 ms
    timer.sleepUntilThenRestart(5);
    // One armed wait for what is left of the 5 ms; the restart reset the
    // origin, so one read later only 1 ms has passed.
    EXPECT_EQ(HighResTimerProbe::counts(timer).timerArms, 1u);
    EXPECT_EQ(timer.elapsedMs(), 1u);
}

} // namespace
