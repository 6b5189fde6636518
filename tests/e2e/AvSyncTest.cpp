// Sound against picture as a viewer meets them: av_flash.mp4 flashes white and
// beeps at every whole second. The null sink's monitor and the widget's centre
// on the screen are timed on one clock; the beep heard minus the flash seen is
// the offset, which must stay within ±60 ms (what people notice starts at
// 45 ms early and 125 ms late; the margin is for a busy two-core machine) at
// the start, after a pause, after a seek, when the sound starts late and after
// a gap in the sound track. A GUI thread blocked for 300 ms must not break the sound.
#include "common/AvSyncProbe.h"
#include "e2e/E2EHost.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>

namespace {

constexpr double kToleranceMs = 60;
constexpr double kBeepLevel = 0.25;  // the beep; the tone under it stays near 0.06
constexpr double kToneLevel = 0.03;  // below this, nothing plays

std::string listed(const std::vector<double> &offsets)
{
    std::ostringstream out;
    for (double o : offsets)
        out << o << " ";
    return out.str();
}

// Offsets of the flashes seen in [fromUs, toUs).
std::vector<double> offsetsBetween(const TimedRecording &sound, const FlashSampler &picture, int64_t fromUs,
                                   int64_t toUs)
{
    std::vector<int64_t> flashes;
    for (int64_t at : picture.onsetsUs())
        if (at >= fromUs && at < toUs)
            flashes.push_back(at);
    return syncOffsetsMs(sound.onsetsUs(kBeepLevel, 300), flashes);
}

void expectInSync(const std::vector<double> &offsets, size_t atLeast, const char *phase)
{
    std::cout << phase << ": sound minus picture (ms): " << listed(offsets) << std::endl;
    EXPECT_GE(offsets.size(), atLeast) << phase << ": flashes paired with beeps: " << listed(offsets);
    for (double o : offsets)
        EXPECT_LE(std::fabs(o), kToleranceMs) << phase << ": sound minus picture (ms): " << listed(offsets);
}

} // namespace

TEST(E2EAvSync, StartPauseSeekLateSoundAndABusyGuiThread)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    TimedRecording sound;
    ASSERT_TRUE(sound.start()) << sound.error();
    E2EHost host;
    FlashSampler picture(host.player()->widget());
    ASSERT_TRUE(host.run("volume:100 open:av_flash.mp4"));

    // Start, then the GUI thread busy for 300 ms between two flashes.
    const int64_t started = steadyUs();
    ASSERT_TRUE(host.run("play until:1300"));
    const int64_t blockedFrom = steadyUs();
    while (steadyUs() - blockedFrom < 300000) {
    }
    ASSERT_TRUE(host.run("until:2500 pause"));
    const int64_t paused = steadyUs();
    expectInSync(offsetsBetween(sound, picture, started, paused), 2, "start");

    ASSERT_TRUE(host.run("wait:700 play until:4500"));
    const int64_t sought = steadyUs();
    expectInSync(offsetsBetween(sound, picture, paused, sought), 2, "after pause");

    ASSERT_TRUE(host.run("seek:5400 await:Playing until:7500 stop"));
    const int64_t late = steadyUs();
    expectInSync(offsetsBetween(sound, picture, sought, late), 2, "after a seek");
    // The tone under the beeps runs on while the GUI thread is blocked.
    EXPECT_LE(sound.longestGapMs(blockedFrom - 200000, blockedFrom + 500000, kToneLevel), 20)
        << "the sound broke while the GUI thread was busy";

    // Sound 1.5 s after the picture: its first beep comes with the flash at 2 s.
    ASSERT_TRUE(host.run("open:av_flash_late.mp4 play until:4500 stop"));
    const int64_t gap = steadyUs();
    expectInSync(offsetsBetween(sound, picture, late, gap), 2, "late sound");

    // A 0.5 s hole in the sound track at 2 s: what follows keeps its time.
    ASSERT_TRUE(host.run("open:av_flash_gap.mkv play until:2300"));
    const int64_t afterGap = steadyUs();
    ASSERT_TRUE(host.run("until:4500 stop"));
    expectInSync(offsetsBetween(sound, picture, afterGap, steadyUs()), 2, "after a gap in the sound");
}
