// Plays a file for a while in a 1280x720 widget and reports, for the engine:
// CPU seconds per second of playback, peak RSS, the time from loadVideo to the
// Loaded state, the longest stall of the GUI thread's event loop (a 1 ms
// QTimer watches it through load and playback) and how late each frame reached
// the frame slot against the playback clock. Then lets mpv play the same file
// for the same time and reports its CPU cost and peak RSS, and the ratios.
// With --sound-gaps it also records the null sink's monitor during playback
// and reports the longest silence from the first sound heard to the end.
// Usage: playback-bench FILE [SECONDS] [--no-mpv] [--sound-gaps]
#include "common/SoundRecorder.h"
#include "plugin/InternalPlayerInspector.h"
#include "render/GLWidget.h"

#include "frames/AbstractVideoFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::atomic<PlaybackClock *> gClock{nullptr};
std::mutex gLatenessLock;
std::vector<int64_t> gLatenessMs;

// Notes when the engine announces Loaded.
struct LoadWatcher : IInternalPlayer::IListener {
    QElapsedTimer *clock = nullptr;
    qint64 loadedAtNs = -1;
    void onStateChanged(int state) override
    {
        if (state == Loaded && loadedAtNs < 0)
            loadedAtNs = clock->nsecsElapsed();
    }
    void onTimeChanged(int64_t) override {}
};

// The longest gap between two ticks of a 1 ms timer on the GUI thread: how
// long the event loop could not serve the host.
class StallWatcher {
public:
    StallWatcher()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (now - lastNs > longestNs) {
                longestNs = now - lastNs;
                longestEnd = now;
            }
            lastNs = now;
        });
        clock.start();
        timer.start();
    }
    double longestMs() const { return double(longestNs) / 1e6; }
    // When the longest stall ended, on the watcher's clock.
    qint64 longestEndNs() const { return longestEnd; }
    qint64 nowNs() const { return clock.nsecsElapsed(); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    qint64 longestNs = 0;
    qint64 longestEnd = 0;
};

double cpuSeconds(int who)
{
    rusage r{};
    getrusage(who, &r);
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

double peakRssMb(int who)
{
    rusage r{};
    getrusage(who, &r);
    return double(r.ru_maxrss) / 1024.0; // ru_maxrss is in KiB on Linux
}

// Runs the GUI thread's real event loop for ms.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// "ok" or how far a value is over its limit.
std::string verdict(double value, double limit)
{
    if (value <= limit)
        return "ok";
    char text[64];
    std::snprintf(text, sizeof text, "MISSED by %.0f%%", 100.0 * (value / limit - 1.0));
    return text;
}

int64_t percentile(const std::vector<int64_t> &sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1) + 0.5));
    return sorted[i];
}

// The longest run of 10 ms windows below threshold from the first window
// above it within [fromUs, toUs) to toUs (or the end of the recording, if
// sooner); -1 when nothing was heard.
double longestSoundGapMs(const SoundRecorder &recorder, int64_t fromUs, int64_t toUs, double threshold)
{
    const std::vector<double> level = recorder.levels();
    const int64_t start = recorder.startUs();
    for (size_t w = 0; w < level.size(); ++w) {
        const int64_t at = start + int64_t(w) * 10000;
        if (at >= fromUs && at < toUs && level[w] >= threshold)
            return recorder.longestGapMs(at, toUs, threshold);
    }
    return -1;
}

} // namespace

extern "C" AbstractVideoFrame *__real__ZN9FrameSlot8exchangeEP18AbstractVideoFrame(FrameSlot *, AbstractVideoFrame *);

extern "C" AbstractVideoFrame *__wrap__ZN9FrameSlot8exchangeEP18AbstractVideoFrame(FrameSlot *slot,
                                                                                     AbstractVideoFrame *frame)
{
    PlaybackClock *clock = gClock.load();
    if (frame && clock && clock->isRunning()) {
        const int64_t late = int64_t(clock->currentPosition()) - frame->getTimestamp();
        std::lock_guard<std::mutex> guard(gLatenessLock);
        gLatenessMs.push_back(late);
    }
    return __real__ZN9FrameSlot8exchangeEP18AbstractVideoFrame(slot, frame);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [SECONDS] [--no-mpv] [--sound-gaps]\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    int seconds = 20;
    bool withMpv = true, soundGaps = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-mpv") == 0)
            withMpv = false;
        else if (std::strcmp(argv[i], "--sound-gaps") == 0)
            soundGaps = true;
        else
            seconds = std::max(1, atoi(argv[i]));
    }

    GLWidget view;
    view.resize(1280, 720);
    view.show();
    runFor(300);

    StallWatcher stalls;
    QElapsedTimer since;
    since.start();
    LoadWatcher listener;
    listener.clock = &since;
    double cpu = 0, played = 0, loadMs = 0;
    qint64 loadStartNs = 0, playStartNs = 0;
    uint64_t paintRate = 0, dropped = 0;
    int64_t pixels = 0;
    SoundRecorder recorder;
    double soundGapMs = -1;
    {
        InternalPlayer engine(&listener, &view, &view, false, false);
        engine.setVolume(100);
        runFor(100);
        loadStartNs = stalls.nowNs();
        const qint64 loadStart = since.nsecsElapsed();
        engine.loadVideo(file.toStdString());
        if (engine.duration() <= 0 || listener.loadedAtNs < 0) {
            std::fprintf(stderr, "could not load %s\n", argv[1]);
            return 1;
        }
        loadMs = double(listener.loadedAtNs - loadStart) / 1e6;
        pixels = int64_t(engine.videoWidth()) * engine.videoHeight();
        gClock = &InternalPlayerInspector::clock(engine);
        runFor(500); // let the decoder fill its queues, as a host would before play

        if (soundGaps && !recorder.start())
            std::fprintf(stderr, "sound not recorded: %s\n", recorder.error().c_str());
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        playStartNs = stalls.nowNs();
        const int64_t playStartUs = steadyUs();
        engine.play();
        runFor(seconds * 1000);
        if (soundGaps && recorder.startUs() != INT64_MAX)
            soundGapMs = longestSoundGapMs(recorder, playStartUs, steadyUs(), 0.02);
        played = engine.currentTime() / 1000.0;
        paintRate = view.renderRate();
        dropped = InternalPlayerInspector::droppedPictures(engine);
        cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        engine.pause();
        gClock = nullptr;
    }
    recorder.stop(); // before mpv: its CPU is counted from the children waited for
    const double stallMs = stalls.longestMs();
    const double rssMb = peakRssMb(RUSAGE_SELF);

    std::vector<int64_t> late;
    {
        std::lock_guard<std::mutex> guard(gLatenessLock);
        late = gLatenessMs;
    }
    std::sort(late.begin(), late.end());
    // The frame period from the number of frames shown over the time played.
    const double framePeriodMs = late.empty() ? 0 : played * 1000.0 / double(late.size());
    const long overOnePeriod =
        std::count_if(late.begin(), late.end(), [&](int64_t l) { return double(l) > framePeriodMs; });
    const double cpuRate = played > 0 ? cpu / played : 0.0;

    std::printf("file: %s\n", argv[1]);
    std::printf("engine: played %.2f s, CPU %.3f s per s of playback, frames %zu, paints/s %llu, peak RSS %.0f MB\n",
                played, cpuRate, late.size(), (unsigned long long)paintRate, rssMb);
    const qint64 stallEnd = stalls.longestEndNs();
    const char *stallPhase = stallEnd < loadStartNs  ? "before load"
                             : stallEnd < playStartNs ? "load and pre-roll"
                             : stallEnd - playStartNs < 200000000 ? "first 200 ms of play"
                                                                  : "playback";
    std::printf("engine: load -> Loaded %.1f ms, longest GUI-thread stall %.1f ms (ended in: %s)\n", loadMs, stallMs,
                stallPhase);
    std::printf("lateness (ms): p50 %lld p99 %lld max %lld, later than one frame period (%.1f ms): %ld, "
                "dropped for lateness: %llu\n",
                (long long)percentile(late, 0.5), (long long)percentile(late, 0.99),
                (long long)(late.empty() ? 0 : late.back()), framePeriodMs, overOnePeriod, (unsigned long long)dropped);
    if (soundGaps)
        std::printf("sound: longest gap %.0f ms after the first sound heard\n", soundGapMs);

    // Limits: load 150 ms up to 1080p and 300 ms for larger pictures, 50 ms of
    // GUI stall, and at 8K 1.5 GB of peak RSS.
    const double loadLimit = pixels > 1920 * 1080 ? 300 : 150;
    std::printf("targets: load <= %.0f ms %s; stall <= 50 ms %s; frames later than one period: %s\n", loadLimit,
                verdict(loadMs, loadLimit).c_str(), verdict(stallMs, 50).c_str(),
                overOnePeriod == 0 ? "ok" : "MISSED");
    if (pixels >= int64_t(7680) * 3840)
        std::printf("targets: peak RSS <= 1536 MB %s\n", verdict(rssMb, 1536).c_str());

    const QString mpv = QStandardPaths::findExecutable("mpv");
    if (!withMpv || mpv.isEmpty()) {
        std::printf("mpv: %s\n", withMpv ? "not installed" : "not run");
        return 0;
    }
    QProcess player;
    player.start(mpv, {"--no-config", "--vo=gpu", "--gpu-sw", "--ao=pulse", "--really-quiet", "--geometry=1280x720",
                       "--keep-open=no", QString("--length=%1").arg(seconds), file});
    const double child0 = cpuSeconds(RUSAGE_CHILDREN);
    if (!player.waitForFinished((seconds + 60) * 1000)) {
        player.kill();
        player.waitForFinished();
        std::printf("mpv: did not finish\n");
        return 0;
    }
    const double mpvCpu = (cpuSeconds(RUSAGE_CHILDREN) - child0) / seconds;
    const double mpvRss = peakRssMb(RUSAGE_CHILDREN);
    std::printf("mpv --vo=gpu: exit %d, CPU %.3f s per s of playback, peak RSS %.0f MB\n", player.exitCode(), mpvCpu,
                mpvRss);
    const double cpuRatio = mpvCpu > 0 ? cpuRate / mpvCpu : 0.0;
    const double rssRatio = mpvRss > 0 ? rssMb / mpvRss : 0.0;
    std::printf("engine / mpv: CPU %.2f (target <= 0.50: %s), peak RSS %.2f (target <= 1.50: %s)\n", cpuRatio,
                verdict(cpuRatio, 0.5).c_str(), rssRatio, verdict(rssRatio, 1.5).c_str());
    return 0;
}
