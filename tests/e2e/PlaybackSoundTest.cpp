// What the host hears: seconds.mp4 plays tone 400 + 200 * second Hz, so the
// null sink's recording tells where playback was and in which order.
#include "common/SoundRecorder.h"
#include "e2e/E2EHost.h"

#include <QTest>

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
    double seconds() const { return windows * kWindow; }
};

int toneOf(double hz)
{
    const double k = (hz - 400.0) / 200.0;
    if (hz <= 0)
        return kSilence;
    return k > -0.2 && k < 7.2 && std::fabs(k - std::lround(k)) <= 0.2 ? int(std::lround(k)) : kUnknown;
}

// Runs of at least 3 windows (silence: 8, so a short underrun on a busy
// machine is not taken for a pause); shorter runs (transitions) are dropped
// and the neighbours around them merged.
std::vector<ToneRun> runsOf(const std::vector<double> &freqs)
{
    std::vector<ToneRun> raw, runs;
    for (size_t i = 0; i < freqs.size(); ++i) {
        const int t = toneOf(freqs[i]);
        if (!raw.empty() && raw.back().tone == t)
            ++raw.back().windows;
        else
            raw.push_back({t, 1, i * kWindow});
    }
    for (const ToneRun &r : raw) {
        if (r.windows < (r.tone == kSilence ? 8 : 3) || r.tone == kUnknown)
            continue;
        if (!runs.empty() && runs.back().tone == r.tone)
            runs.back().windows += r.windows;
        else
            runs.push_back(r);
    }
    return runs;
}

} // namespace

TEST(E2ESound, TonesPlayInOrderPauseSilencesSeekJumpsVolumeScales)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SoundRecorder recorder;
    ASSERT_TRUE(recorder.start()) << recorder.error();

    E2EHost host;
    IMediaPlayer2 *p = host.player();
    p->setVolume(1.0f); // a new player starts silent
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    QTest::qWait(500); // leading silence, so the first tone is seen from its start
    // Plays from where the player is until `until` ms, then pauses for pauseMs.
    auto playUntil = [&](uint64_t until, int pauseMs) {
        p->play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return p->currentTime() >= until; }, 15000));
        p->pause();
        QTest::qWait(pauseMs);
    };

    playUntil(3600, 1500); // seconds 0 to 3 at full volume
    // Paused at 3.6 s, sought to 6 s, played: the next tone is 6, not 3.
    const size_t mark = host.eventCount();
    p->setCurrentTime(6000);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
    playUntil(6700, 1500);
    // Second 1 again, at a quarter of the volume.
    p->setVolume(0.25f);
    p->setCurrentTime(1000);
    QTest::qWait(500);
    playUntil(1800, 1000);
    recorder.stop();

    const std::vector<ToneRun> runs = runsOf(recorder.frequencyOverTime(kWindow, 0.005));
    std::ostringstream seen;
    std::vector<int> tones;
    for (const ToneRun &r : runs) {
        tones.push_back(r.tone);
        seen << r.tone << "x" << r.windows << "@" << r.start << " ";
    }
    // The first tone may be cut by the recording's start.
    ASSERT_EQ(tones, (std::vector<int>{kSilence, 0, 1, 2, 3, kSilence, 6, kSilence, 1, kSilence})) << seen.str();

    // The pauses were long and silent. Tone 3 was heard for about 0.6 s and
    // tone 6 for about 0.7 s: the flushed output did not play the rest of second 3.
    EXPECT_GE(runs[5].seconds(), 1.0) << seen.str();
    EXPECT_GE(runs[7].seconds(), 1.0) << seen.str();
    EXPECT_LT(runs[4].seconds(), 1.0) << seen.str();
    EXPECT_LT(runs[6].seconds(), 1.0) << seen.str();

    // A quarter of the volume: about a quarter of the level of the same tone.
    const ToneRun &loud = runs[2], &quiet = runs[8];
    const double loudRms = recorder.rms(loud.start + 0.1, loud.start + loud.seconds() - 0.1);
    const double quietRms = recorder.rms(quiet.start + 0.1, quiet.start + quiet.seconds() - 0.1);
    ASSERT_GT(loudRms, 0.05) << seen.str();
    EXPECT_GT(quietRms / loudRms, 0.12);
    EXPECT_LT(quietRms / loudRms, 0.45);
}
