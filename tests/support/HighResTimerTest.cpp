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
    const HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);
    EXPECT_EQ(counts.timerArms, 0u);
    EXPECT_EQ(counts.plainSleeps, 0u);
    EXPECT_EQ(counts.yields, 0u);
}

TEST(HighResTimer, ShortWaitsOnlyYieldAndLongerOnesArmTheTimerOnce)
{
    HighResTimer timer;

    timer.preciseSleep(2);
    EXPECT_GE(timer.elapsedMs(), 2u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).timerArms, 0u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).plainSleeps, 0u);

    HighResTimerProbe::resetCounts(timer);
    timer.restart();
    timer.preciseSleep(3);
    EXPECT_GE(timer.elapsedMs(), 3u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).timerArms, 1u);

    HighResTimerProbe::resetCounts(timer);
    timer.restart();
    timer.sleepUntil(20);
    EXPECT_GE(timer.elapsedMs(), 20u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).timerArms, 1u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).plainSleeps, 0u);
}

TEST(HighResTimer, WaitsAbove249MsAreNotRefined)
{
    HighResTimer timer;
    timer.preciseSleep(250);
    EXPECT_GE(timer.elapsedMs(), 250u);
    HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);
    EXPECT_EQ(counts.timerArms, 1u);
    EXPECT_EQ(counts.yields, 0u);

    // Whole seconds and the rest go into separate fields of the timer value;
    // a bad split makes arming fail and shows as a plain sleep.
    HighResTimerProbe::resetCounts(timer);
    timer.restart();
    timer.coarseSleep(1005);
    EXPECT_GE(timer.elapsedMs(), 1005u);
    counts = HighResTimerProbe::counts(timer);
    EXPECT_EQ(counts.timerArms, 1u);
    EXPECT_EQ(counts.plainSleeps, 0u);

    // A zero wait must not disarm the timer and block forever.
    timer.coarseSleep(0);
    EXPECT_EQ(HighResTimerProbe::counts(timer).timerArms, 2u);
}

TEST(HighResTimer, WithoutTheWaitableTimerEveryCoarseWaitIsAPlainSleep)
{
    HighResTimer timer;
    HighResTimerProbe::dropWaitableTimer(timer);
    ASSERT_FALSE(HighResTimerProbe::hasWaitableTimer(timer));

    timer.preciseSleep(10);
    EXPECT_GE(timer.elapsedMs(), 10u);
    EXPECT_EQ(HighResTimerProbe::counts(timer).plainSleeps, 1u);

    HighResTimerProbe::resetCounts(timer);
    timer.restart();
    timer.sleepUntil(260);
    EXPECT_GE(timer.elapsedMs(), 260u);
    const HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);
    EXPECT_EQ(counts.plainSleeps, 1u);
    EXPECT_EQ(counts.timerArms, 0u);
    EXPECT_EQ(counts.yields, 0u);
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
