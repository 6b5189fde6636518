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

} // namespace

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
    EXPECT_GE(timer.elapsedMs(), 20u);
    EXPECT_GE(timer.elapsedUs(), 20000u);
    EXPECT_GE(msTicks() - ticksBefore, 20u);
}

namespace {

// Starts a fresh measurement: counts cleared, origin now.
void restartCounting(HighResTimer &timer)
{
    HighResTimerProbe::resetCounts(timer);
    timer.restart();
}

// Expects the waits since the last restartCounting to have armed the timer
// and fallen back to sleepMs this many times; yields unless yieldsAllowed.
void expectWaits(HighResTimer &timer, uint32_t arms, uint32_t plainSleeps, bool yieldsAllowed)
{
    const HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);
    EXPECT_EQ(counts.timerArms, arms);
    EXPECT_EQ(counts.plainSleeps, plainSleeps);
    if (!yieldsAllowed) {
        EXPECT_EQ(counts.yields, 0u);
    }
}

} // namespace

TEST(HighResTimer, SleepUntilReturnsAtOnceWhenTheTimeHasPassed)
{
    HighResTimer timer;
    ASSERT_TRUE(HighResTimerProbe::hasWaitableTimer(timer));
    sleepMs(7);
    timer.sleepUntil(5);
    timer.sleepUntil(0);
    // Remaining times that read as non-positive 32-bit values are not slept.
    timer.sleepUntil(0x80000000ull + timer.elapsedMs());
    timer.sleepUntil(1ull << 40);
    expectWaits(timer, 0, 0, false);
}

TEST(HighResTimer, ShortWaitsOnlyYieldAndLongerOnesArmTheTimerOnce)
{
    HighResTimer timer;
    restartCounting(timer);
    timer.preciseSleep(2);
    EXPECT_GE(timer.elapsedMs(), 2u);
    expectWaits(timer, 0, 0, true);

    restartCounting(timer);
    timer.preciseSleep(3);
    EXPECT_GE(timer.elapsedMs(), 3u);
    expectWaits(timer, 1, 0, true);

    restartCounting(timer);
    timer.sleepUntil(20);
    EXPECT_GE(timer.elapsedMs(), 20u);
    expectWaits(timer, 1, 0, true);
}

TEST(HighResTimer, WaitsAbove249MsAreNotRefined)
{
    HighResTimer timer;
    restartCounting(timer);
    timer.preciseSleep(250);
    EXPECT_GE(timer.elapsedMs(), 250u);
    expectWaits(timer, 1, 0, false);

    // Whole seconds and the rest go into separate fields of the timer value;
    // a bad split makes arming fail and shows as a plain sleep.
    restartCounting(timer);
    timer.coarseSleep(1005);
    EXPECT_GE(timer.elapsedMs(), 1005u);
    expectWaits(timer, 1, 0, false);

    // A zero wait must not disarm the timer and block forever.
    restartCounting(timer);
    timer.coarseSleep(0);
    expectWaits(timer, 1, 0, false);
}

TEST(HighResTimer, WithoutTheWaitableTimerEveryCoarseWaitIsAPlainSleep)
{
    HighResTimer timer;
    HighResTimerProbe::dropWaitableTimer(timer);
    ASSERT_FALSE(HighResTimerProbe::hasWaitableTimer(timer));

    restartCounting(timer);
    timer.preciseSleep(10);
    EXPECT_GE(timer.elapsedMs(), 10u);
    expectWaits(timer, 0, 1, true);

    restartCounting(timer);
    timer.sleepUntil(260);
    EXPECT_GE(timer.elapsedMs(), 260u);
    expectWaits(timer, 0, 1, false);
}

TEST(HighResTimer, SleepUntilThenRestartStartsTheNextPassAtTheWakeUp)
{
    HighResTimer timer;
    // Every counter read moves the clock by 1 ms.
    useFakeCounter(timer, 0, 1000000);
    timer.sleepUntilThenRestart(5);
    // The wait polled the clock up to 5 ms and yielded in between; the
    // restart then reset the origin, so one read later only 1 ms has passed.
    EXPECT_GT(HighResTimerProbe::counts(timer).yields, 0u);
    EXPECT_EQ(timer.elapsedMs(), 1u);
}
