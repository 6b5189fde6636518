#include "player/PlaybackClock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

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

    clock.reset(0); // an unknown length: never limited, never ended
    clock.setPosition(500);
    QTest::qSleep(200); // standing time does not count once started
    const auto before = std::chrono::steady_clock::now();
    clock.start();
    const uint64_t started = clock.currentPosition();
    EXPECT_LE(started, 501 + uint64_t((std::chrono::steady_clock::now() - before) / std::chrono::milliseconds(1)));
    QTest::qSleep(30);
    EXPECT_GE(clock.currentPosition(), 530u);
    EXPECT_FALSE(clock.reachedEnd());
    clock.reset(0);
    EXPECT_FALSE(clock.isRunning() || clock.currentPosition() != 0) << "a reset stops it at 0";
}

// A started clock stands until the sound is heard; then each report pulls it a
// tenth of the way, never backwards, and one far off moves it at once.
TEST(PlaybackClock, FollowsTheSoundHeard)
{
    PlaybackClock clock(0);
    // The clock's reading and the wall time (ms) spent reading it.
    const auto read = [&clock](double &slack) {
        const auto begin = std::chrono::steady_clock::now();
        const double at = double(clock.currentPosition());
        slack = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        return at;
    };
    clock.followSound(true);
    clock.setPosition(1000);
    clock.start();
    QTest::qSleep(60);
    EXPECT_EQ(clock.currentPosition(), 1000u) << "stands until the sound is heard";
    clock.reportHeard(1000.0);
    QTest::qSleep(30);
    double slackBefore, slackAfter;
    double before = read(slackBefore);
    EXPECT_GE(before, 1030.0 - 1);
    clock.reportHeard(before + 50.0); // 50 ms ahead: pulled by 5
    double after = read(slackAfter);
    EXPECT_GE(after, before + 5.0 - 1);
    EXPECT_LE(after, before + 5.0 + slackBefore + slackAfter + 5);
    before = read(slackBefore);
    clock.reportHeard(before - 30.0); // behind: slowed down, never read backwards
    EXPECT_GE(read(slackAfter), before);
    clock.reportHeard(5000.0);
    EXPECT_NEAR(double(clock.currentPosition()), 5000.0, 5.0);
    clock.pause();
    clock.start();
    QTest::qSleep(30);
    EXPECT_NEAR(double(clock.currentPosition()), 5000.0, 5.0) << "a restart waits for the sound again";
    clock.followSound(false);
    clock.reportHeard(9000.0);
    EXPECT_LT(clock.currentPosition(), 6000u) << "without sound the wall clock alone counts";
}
