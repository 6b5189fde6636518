#include "player/PlaybackClock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

void pass(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(PlaybackClock, OnlyARunningClockIsLimitedByDuration)
{
    PlaybackClock clock(4000);
    clock.setPosition(5000);
    EXPECT_EQ(clock.currentPosition(), 5000u);
    EXPECT_TRUE(clock.reachedEnd());

    clock.setPosition(3990);
    clock.start();
    EXPECT_LE(clock.currentPosition(), 4000u);
    pass(30);
    EXPECT_EQ(clock.currentPosition(), 4000u);
    clock.pause(); // keeps what elapsed, beyond the duration
    EXPECT_GE(clock.currentPosition(), 4020u);
}

TEST(PlaybackClock, SetPositionOnRunningClockContinuesFromThere)
{
    PlaybackClock clock(100000);
    clock.start();
    pass(500);
    clock.setPosition(1000);
    EXPECT_TRUE(clock.isRunning());
    EXPECT_LT(clock.currentPosition(), 1400u); // counted from the new position, not from the start
    pass(30);
    EXPECT_GE(clock.currentPosition(), 1030u);
    clock.pause();
    const uint64_t paused = clock.currentPosition();
    pass(20);
    EXPECT_EQ(clock.currentPosition(), paused);
}

} // namespace
