#include "player/PlaybackClock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(PlaybackClock, RunsFromWhereItIsSetStopsAtTheEndAndStandsWhenPaused)
{
    PlaybackClock clock(4000);
    clock.setPosition(5000); // a stopped clock is not limited
    EXPECT_EQ(clock.currentPosition(), 5000u);
    EXPECT_TRUE(clock.reachedEnd());

    clock.setPosition(3000);
    clock.start();
    QTest::qSleep(300);
    clock.setPosition(3900); // counted from the new position, not from the start
    EXPECT_TRUE(clock.isRunning());
    EXPECT_LT(clock.currentPosition(), 4000u);
    QTest::qSleep(130);
    EXPECT_EQ(clock.currentPosition(), 4000u);
    clock.pause(); // stops where it reads: at the end, however late
    QTest::qSleep(20);
    EXPECT_EQ(clock.currentPosition(), 4000u);
    EXPECT_TRUE(clock.reachedEnd());
}

TEST(PlaybackClock, ZeroDurationIsAnUnknownLengthThatNeverEnds)
{
    PlaybackClock clock(0);
    EXPECT_FALSE(clock.reachedEnd());
    clock.setPosition(500);
    clock.start();
    QTest::qSleep(30);
    EXPECT_GE(clock.currentPosition(), 530u) << "not limited";
    EXPECT_FALSE(clock.reachedEnd());
    clock.reset(0);
    EXPECT_EQ(clock.currentPosition(), 0u);
    EXPECT_FALSE(clock.isRunning());
}

TEST(PlaybackClock, ConcurrentPausesAddTheElapsedTimeOnce)
{
    // Two threads stop the same running clock at once (the end of the media
    // and a host command): the time that passed counts once.
    for (int round = 0; round < 200; ++round) {
        PlaybackClock clock(100000);
        const auto begin = std::chrono::steady_clock::now();
        clock.start();
        std::atomic<bool> go{false};
        auto pauser = [&] {
            while (!go.load()) {
            }
            clock.pause();
        };
        std::thread a(pauser), b(pauser);
        QTest::qSleep(2);
        go = true;
        a.join();
        b.join();
        const auto wall = std::chrono::steady_clock::now() - begin;
        ASSERT_LE(clock.currentPosition(), uint64_t(wall / std::chrono::milliseconds(1))) << "round " << round;
        ASSERT_FALSE(clock.isRunning());
    }
}

} // namespace
