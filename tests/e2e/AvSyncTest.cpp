// Each second's beep heard minus its flash seen: within ±60 ms (noticed 45 ms early, 125 late).
#include "e2e/E2EHost.h"

#include <QTimer>

namespace {

constexpr double kBeepLevel = 0.25; // the beep; the tone under it stays near 0.06
constexpr double kToneLevel = 0.03; // below this, nothing plays

// When the widget's centre turns white (sampled every ~2 ms): after one sample, by the next.
struct FlashSampler {
    explicit FlashSampler(QWidget *widget)
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this, widget] {
            const QPoint c = widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
            const int64_t at = steadyUs();
            const QImage pixel = QGuiApplication::primaryScreen()->grabWindow(0, c.x(), c.y(), 1, 1).toImage();
            const bool nowWhite = pixel.pixelColor(0, 0).lightness() > 160;
            if (nowWhite && !white)
                onsets.push_back({last, at});
            white = nowWhite;
            last = at;
        });
        timer.start(2);
    }
    QTimer timer;
    bool white = false;
    int64_t last = 0;
    std::vector<std::pair<int64_t, int64_t>> onsets; // (after, by)
};

// Each flash in [fromUs, toUs) with a beep within ±400 ms is within ±60 ms of it.
void expectInSync(const SoundRecorder &sound, const FlashSampler &picture, int64_t fromUs, int64_t toUs,
                  const char *phase)
{
    const std::vector<int64_t> beeps = sound.onsetsUs(kBeepLevel, 300);
    std::ostringstream listed;
    int paired = 0, inSync = 0;
    for (const auto &[after, by] : picture.onsets) {
        const auto beep = std::find_if(beeps.begin(), beeps.end(), [&](int64_t b) { return std::llabs(b - by) <= 400000; });
        if (by < fromUs || by >= toUs || beep == beeps.end())
            continue;
        ++paired;
        inSync += *beep - by <= 60000 && *beep - after >= -60000;
        listed << (*beep - by) / 1000.0 << "(+" << (by - after) / 1000 << ") ";
    }
    std::printf("%s: sound minus picture (ms, +uncertainty): %s\n", phase, listed.str().c_str());
    EXPECT_GE(paired, 2) << phase << ": flashes paired with beeps: " << listed.str();
    EXPECT_EQ(inSync, paired) << phase << ": sound minus picture (ms): " << listed.str();
}

// Silent for good (200 ms) within 100 ms of the command (+50 for a busy machine).
void expectSilencedBy(const SoundRecorder &sound, E2EHost &host, const char *command)
{
    const int64_t at = steadyUs();
    ASSERT_TRUE(host.run(command + std::string(" wait:400")));
    const std::vector<double> level = sound.levels();
    const int64_t first = sound.startUs();
    size_t w = size_t(std::max<int64_t>(0, at - first) / 10000), quiet = 0;
    for (; w < level.size() && quiet < 20; ++w)
        quiet = level[w] < kToneLevel ? quiet + 1 : 0;
    const double ms = quiet < 20 ? 1e9 : double(first + int64_t(w - quiet) * 10000 - at) / 1000.0;
    std::printf("%s: silent after %.0f ms\n", command, ms);
    EXPECT_LE(ms, 150) << command;
}

} // namespace

TEST(E2EAvSync, StartPauseSeekLateSoundAndABusyGuiThread)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    SoundRecorder sound;
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
    ASSERT_TRUE(host.run("until:2500"));
    const int64_t paused = steadyUs();
    expectSilencedBy(sound, host, "pause");
    expectInSync(sound, picture, started, paused, "start");

    // Played on after the pause, then a seek while the output is full.
    ASSERT_TRUE(host.run("wait:300 play until:4500 seek:5400 await:Playing until:7500"));
    const int64_t late = steadyUs();
    expectInSync(sound, picture, paused, late, "after a pause and a seek");
    expectSilencedBy(sound, host, "stop");
    // The tone under the beeps runs on while the GUI thread is blocked.
    EXPECT_LE(sound.longestGapMs(blockedFrom - 200000, blockedFrom + 500000, kToneLevel), 20)
        << "the sound broke while the GUI thread was busy";

    // Sound 1.5 s after the picture: its first beep comes with the flash at 2 s.
    ASSERT_TRUE(host.run("open:av_flash_late.mp4 play until:4500"));
    expectInSync(sound, picture, late, steadyUs(), "late sound");
    expectSilencedBy(sound, host, "volume:0");
}
