// What the host hears: seconds.mp4 plays tone 400 + 200 * second Hz, so the
// null sink's recording tells where playback was and in which order.
#include "common/SoundRecorder.h"
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

constexpr double kWindow = 0.05;
constexpr int kSilence = -1;
constexpr int kUnknown = -2;

// One run of equal windows: a tone index, silence or something else.
struct ToneRun {
    int tone;
    int windows;
    double start; // seconds into the recording
};

int toneOf(double hz)
{
    if (hz <= 0)
        return kSilence;
    const double k = (hz - 400.0) / 200.0;
    const long nearest = std::lround(k);
    if (nearest < 0 || nearest > 7 || std::fabs(k - nearest) > 0.2)
        return kUnknown;
    return int(nearest);
}

// Runs of at least minWindows (silence: minSilence, so a short underrun on a
// busy machine is not taken for a pause), with short glitches (transitions)
// dropped and the neighbours around them merged.
std::vector<ToneRun> runsOf(const std::vector<double> &freqs, int minWindows, int minSilence)
{
    std::vector<ToneRun> raw;
    for (size_t i = 0; i < freqs.size(); ++i) {
        const int t = toneOf(freqs[i]);
        if (!raw.empty() && raw.back().tone == t)
            ++raw.back().windows;
        else
            raw.push_back({t, 1, i * kWindow});
    }
    std::vector<ToneRun> runs;
    for (const ToneRun &r : raw) {
        if (r.windows < (r.tone == kSilence ? minSilence : minWindows) || r.tone == kUnknown)
            continue;
        if (!runs.empty() && runs.back().tone == r.tone)
            runs.back().windows += r.windows;
        else
            runs.push_back(r);
    }
    return runs;
}

std::string describe(const std::vector<ToneRun> &runs)
{
    std::ostringstream s;
    for (const ToneRun &r : runs)
        s << (r.tone == kSilence ? std::string("-") : std::to_string(r.tone)) << "x" << r.windows << "@"
          << r.start << " ";
    return s.str();
}

} // namespace

TEST(E2ESound, TonesPlayInOrderPauseSilencesSeekJumpsVolumeScales)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh";
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();

    E2EHost host;
    IMediaPlayer2 *p = host.player();
    p->setVolume(1.0f); // a new player starts silent
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    pump(500); // leading silence, so the first tone is seen from its start

    // Seconds 0 to 3 at full volume.
    p->play();
    ASSERT_TRUE(waitFor([&] { return p->currentTime() >= 3600; }, 15000));
    p->pause();
    pump(1500);

    // Paused at 3.6 s, sought to 6 s, played: the next tone is 6, not 3.
    const size_t mark = host.events().size();
    p->setCurrentTime(6000);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
    p->play();
    ASSERT_TRUE(waitFor([&] { return p->currentTime() >= 6700; }, 10000));
    p->pause();
    pump(1500);

    // Second 1 again, at a quarter of the volume.
    p->setVolume(0.25f);
    p->setCurrentTime(1000);
    pump(500);
    p->play();
    ASSERT_TRUE(waitFor([&] { return p->currentTime() >= 1800; }, 10000));
    p->pause();
    pump(1000);
    recorder.stop();

    const std::vector<ToneRun> runs = runsOf(recorder.frequencyOverTime(kWindow, 0.005), 3, 8);
    const std::string seen = describe(runs);

    // Expected: - 0 1 2 3 - 6 - 1 - (the first tone may be cut by the recording's start).
    std::vector<int> tones;
    for (const ToneRun &r : runs)
        tones.push_back(r.tone);
    const std::vector<int> expected = {kSilence, 0, 1, 2, 3, kSilence, 6, kSilence, 1, kSilence};
    ASSERT_EQ(tones, expected) << seen;

    // The pauses were long and silent.
    EXPECT_GE(runs[5].windows * kWindow, 1.0) << seen;
    EXPECT_GE(runs[7].windows * kWindow, 1.0) << seen;
    // Tone 3 was heard for about 0.6 s and tone 6 for about 0.7 s: the flushed
    // output did not play what was left of second 3.
    EXPECT_LT(runs[4].windows * kWindow, 1.0) << seen;
    EXPECT_LT(runs[6].windows * kWindow, 1.0) << seen;

    // A quarter of the volume: about a quarter of the level of the same tone.
    const ToneRun &loud = runs[2], &quiet = runs[8];
    const double loudRms = recorder.rms(loud.start + 0.1, loud.start + loud.windows * kWindow - 0.1);
    const double quietRms = recorder.rms(quiet.start + 0.1, quiet.start + quiet.windows * kWindow - 0.1);
    ASSERT_GT(loudRms, 0.05) << seen;
    EXPECT_GT(quietRms / loudRms, 0.12);
    EXPECT_LT(quietRms / loudRms, 0.45);
}
