#include "player/PlaybackClock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

void sleepMsFor(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(PlaybackClock, StoppedClockIsNotLimitedByDuration)
{
    PlaybackClock clock(4000);
    clock.setPosition(5000);
    EXPECT_EQ(clock.currentPosition(), 5000u);
    EXPECT_TRUE(clock.reachedEnd());
    clock.reset(8000);
    EXPECT_EQ(clock.currentPosition(), 0u);
    EXPECT_FALSE(clock.isRunning());
}

TEST(PlaybackClock, RunningClockStopsAtDuration)
{
    PlaybackClock clock(4000);
    clock.setPosition(3990);
    clock.start();
    EXPECT_LE(clock.currentPosition(), 4000u);
    sleepMsFor(30);
    EXPECT_EQ(clock.currentPosition(), 4000u);
    EXPECT_TRUE(clock.reachedEnd());
    clock.pause();
    // Paused, the position keeps what elapsed, beyond the duration.
    EXPECT_GE(clock.currentPosition(), 4020u);
}

TEST(PlaybackClock, SetPositionOnRunningClockContinuesFromThere)
{
    PlaybackClock clock(100000);
    clock.start();
    sleepMsFor(50);
    clock.setPosition(1000);
    EXPECT_TRUE(clock.isRunning());
    const uint64_t right = clock.currentPosition();
    EXPECT_GE(right, 1000u);
    EXPECT_LT(right, 1045u);
    sleepMsFor(30);
    EXPECT_GE(clock.currentPosition(), 1030u);
    clock.pause();
    const uint64_t paused = clock.currentPosition();
    sleepMsFor(20);
    EXPECT_EQ(clock.currentPosition(), paused);
}

} // namespace
