// seconds.mp4 shows a colour and plays 400 + 200 * second Hz each second: the
// screen and the recording tell where playback was.
#include "e2e/E2EHost.h"

#include <cmath>

namespace {

constexpr double kWindow = 0.05;
constexpr int kSilence = -1, kUnknown = -2;

int toneOf(double hz)
{
    const double k = (hz - 400.0) / 200.0;
    return hz <= 0 ? kSilence
                   : k > -0.2 && k < 7.2 && std::fabs(k - std::lround(k)) <= 0.2 ? int(std::lround(k)) : kUnknown;
}

// Runs of a tone of 3 windows or more (silence: 14, past a busy machine's underrun), joined up.
struct ToneRun {
    int tone;
    double start, seconds;
};

std::vector<ToneRun> runsOf(const std::vector<double> &freqs)
{
    std::vector<ToneRun> runs;
    for (size_t first = 0, end; first < freqs.size(); first = end) {
        const int tone = toneOf(freqs[first]);
        for (end = first + 1; end < freqs.size() && toneOf(freqs[end]) == tone;)
            ++end;
        if (tone == kUnknown || end - first < (tone == kSilence ? 14u : 3u))
            continue;
        if (runs.empty() || runs.back().tone != tone)
            runs.push_back({tone, double(first) * kWindow, 0});
        runs.back().seconds = double(end) * kWindow - runs.back().start;
    }
    return runs;
}

} // namespace

TEST(E2EPlayback, PictureAndSoundFollowPlayPauseSeekStopVolumeAndReload)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();
    const auto colourIs = [](QColor c, int second) { return near(c, kSecondColour[second]); };

    // Loaded and started before the widget is shown (a new player starts silent).
    E2EHost host("CreateSw", /*show=*/false);
    ASSERT_TRUE(host.run("volume:100 open:seconds.mp4 wait:800 play wait:200"));
    host.showWindow();
    EXPECT_EQ(host.followSeconds(2), 2);
    // Paused, the picture stays; a seek shows its target; played on, tone 6 follows 3.
    ASSERT_TRUE(host.run("until:3600 pause wait:300"));
    const QColor paused = host.centreColour();
    EXPECT_TRUE(colourIs(paused, 3)) << paused.name().toStdString();
    ASSERT_TRUE(host.run("wait:1200 seek:6000 await:Paused"));
    EXPECT_TRUE(near(host.centreColour(), paused)) << "the paused picture stayed until the seek";
    EXPECT_TRUE(QTest::qWaitFor([&] { return colourIs(host.centreColour(), 6); }, 5000));
    ASSERT_TRUE(host.run("play until:6700 pause wait:1500 volume:25 seek:1000 wait:500 play until:1800 pause "
                         "wait:1000 stop wait:300"));
    recorder.stop();
    EXPECT_TRUE(colourIs(host.centreColour(), 1)) << host.centreColour().name().toStdString();
    // A new load takes the previous picture away.
    ASSERT_TRUE(host.run("open:seconds.mp4 wait:300"));
    EXPECT_FALSE(colourIs(host.centreColour(), 1)) << "the previous picture is gone";

    const std::vector<ToneRun> runs = runsOf(recorder.frequencyOverTime(kWindow, 0.005));
    std::ostringstream seen;
    std::vector<int> tones;
    for (const ToneRun &r : runs) {
        tones.push_back(r.tone);
        seen << r.tone << "x" << r.seconds << "@" << r.start << " ";
    }
    ASSERT_EQ(tones, (std::vector<int>{kSilence, 0, 1, 2, 3, kSilence, 6, kSilence, 1, kSilence})) << seen.str();
    // Long silent pauses; tones 3 and 6 short: the flushed output did not play the rest of 3.
    EXPECT_TRUE(runs[5].seconds >= 1.0 && runs[7].seconds >= 1.0) << seen.str();
    EXPECT_TRUE(runs[4].seconds < 1.0 && runs[6].seconds < 1.0) << seen.str();
    // A quarter of the volume: about a quarter of the level of the same tone.
    const auto level = [&](const ToneRun &r) { return recorder.rms(r.start + 0.1, r.start + r.seconds - 0.1); };
    const double loud = level(runs[2]), quiet = level(runs[8]);
    ASSERT_GT(loud, 0.05) << seen.str();
    EXPECT_GT(quiet / loud, 0.12);
    EXPECT_LT(quiet / loud, 0.45);
}
