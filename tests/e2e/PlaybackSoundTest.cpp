// What the host hears: seconds.mp4 plays tone 400 + 200 * second Hz, so the
// null sink's recording tells where playback was and in which order.
#include "common/SoundRecorder.h"
#include "e2e/E2EHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

constexpr double kWindow = 0.05;
constexpr int kSilence = -1;
constexpr int kUnknown = -2;

int toneOf(double hz)
{
    const double k = (hz - 400.0) / 200.0;
    return hz <= 0 ? kSilence
                   : k > -0.2 && k < 7.2 && std::fabs(k - std::lround(k)) <= 0.2 ? int(std::lround(k)) : kUnknown;
}

// Windows [first, end) of one tone (or silence).
struct ToneRun {
    int tone;
    size_t first, end;
    double start() const { return first * kWindow; } // seconds into the recording
    double seconds() const { return (end - first) * kWindow; }
};

// Runs of equal windows at least 3 long (silence: 8, so a short underrun on a
// busy machine is not taken for a pause); what lies between two runs of the
// same tone (a transition) joins them.
std::vector<ToneRun> runsOf(const std::vector<double> &freqs)
{
    std::vector<ToneRun> runs;
    for (size_t first = 0, end; first < freqs.size(); first = end) {
        const int tone = toneOf(freqs[first]);
        for (end = first + 1; end < freqs.size() && toneOf(freqs[end]) == tone;)
            ++end;
        if (tone == kUnknown || end - first < (tone == kSilence ? 8u : 3u))
            continue;
        if (!runs.empty() && runs.back().tone == tone)
            runs.back().end = end;
        else
            runs.push_back({tone, first, end});
    }
    return runs;
}

} // namespace

TEST(E2ESound, TonesPlayInOrderPauseSilencesSeekJumpsVolumeScales)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();

    E2EHost host; // a new player starts silent
    // After a leading silence (the first tone is seen from its start) seconds 0
    // to 3 at full volume; paused at 3.6 s, sought to 6 s and played: the next
    // tone is 6, not 3. Then second 1 again at a quarter of the volume.
    ASSERT_TRUE(host.run("volume:100 open:seconds.mp4 wait:500 play until:3600 pause wait:1500 seek:6000 "
                         "await:Paused play until:6700 pause wait:1500 volume:25 seek:1000 wait:500 play "
                         "until:1800 pause wait:1000"));
    recorder.stop();

    const std::vector<ToneRun> runs = runsOf(recorder.frequencyOverTime(kWindow, 0.005));
    std::ostringstream seen;
    std::vector<int> tones;
    for (const ToneRun &r : runs) {
        tones.push_back(r.tone);
        seen << r.tone << "x" << r.seconds() << "@" << r.start() << " ";
    }
    // The first tone may be cut by the recording's start.
    ASSERT_EQ(tones, (std::vector<int>{kSilence, 0, 1, 2, 3, kSilence, 6, kSilence, 1, kSilence})) << seen.str();

    // The pauses were long and silent. Tone 3 was heard for about 0.6 s and
    // tone 6 for about 0.7 s: the flushed output did not play the rest of second 3.
    EXPECT_TRUE(runs[5].seconds() >= 1.0 && runs[7].seconds() >= 1.0) << seen.str();
    EXPECT_TRUE(runs[4].seconds() < 1.0 && runs[6].seconds() < 1.0) << seen.str();

    // A quarter of the volume: about a quarter of the level of the same tone.
    const ToneRun &loud = runs[2], &quiet = runs[8];
    const double loudRms = recorder.rms(loud.start() + 0.1, loud.start() + loud.seconds() - 0.1);
    const double quietRms = recorder.rms(quiet.start() + 0.1, quiet.start() + quiet.seconds() - 0.1);
    ASSERT_GT(loudRms, 0.05) << seen.str();
    EXPECT_GT(quietRms / loudRms, 0.12);
    EXPECT_LT(quietRms / loudRms, 0.45);
}
