// Plays a file for a while in a 1280x720 widget and reports the process's CPU
// seconds per second of playback and how late each frame reached the frame
// slot against the playback clock; then lets mpv play the same file for the
// same time and reports its CPU cost. Usage: playback-bench FILE [SECONDS]
#include "plugin/InternalPlayerInspector.h"
#include "render/GLWidget.h"

#include "frames/AbstractVideoFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

std::atomic<PlaybackClock *> gClock{nullptr};
std::mutex gLatenessLock;
std::vector<int64_t> gLatenessMs;

struct SilentListener : IInternalPlayer::IListener {
    void onStateChanged(int) override {}
    void onTimeChanged(int64_t) override {}
};

double cpuSeconds(int who)
{
    rusage r{};
    getrusage(who, &r);
    return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6;
}

void pumpFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

int64_t percentile(const std::vector<int64_t> &sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1) + 0.5));
    return sorted[i];
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
        std::fprintf(stderr, "usage: %s FILE [SECONDS]\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 20;

    GLWidget view;
    view.resize(1280, 720);
    view.show();
    pumpFor(300);

    SilentListener listener;
    double cpu = 0, played = 0, framePeriodMs = 0;
    {
        InternalPlayer engine(&listener, &view, &view, false, false);
        engine.setVolume(100);
        engine.loadVideo(file.toStdString());
        if (engine.duration() <= 0) {
            std::fprintf(stderr, "could not load %s\n", argv[1]);
            return 1;
        }
        gClock = &InternalPlayerInspector::clock(engine);
        pumpFor(500); // let the decoder fill its queues, as a host would before play

        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        engine.play();
        pumpFor(seconds * 1000);
        played = engine.currentTime() / 1000.0;
        cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
        engine.pause();
        gClock = nullptr;
    }

    std::vector<int64_t> late;
    {
        std::lock_guard<std::mutex> guard(gLatenessLock);
        late = gLatenessMs;
    }
    std::sort(late.begin(), late.end());
    // The frame period from the number of frames shown over the time played.
    framePeriodMs = late.empty() ? 0 : played * 1000.0 / late.size();
    const long overOnePeriod =
        std::count_if(late.begin(), late.end(), [&](int64_t l) { return l > framePeriodMs; });

    std::printf("file: %s\n", argv[1]);
    std::printf("engine: played %.2f s, CPU %.3f s per s of playback, frames %zu\n", played,
                played > 0 ? cpu / played : 0.0, late.size());
    std::printf("lateness (ms): p50 %lld p99 %lld max %lld, later than one frame period (%.1f ms): %ld\n",
                (long long)percentile(late, 0.5), (long long)percentile(late, 0.99),
                (long long)(late.empty() ? 0 : late.back()), framePeriodMs, overOnePeriod);

    const QString mpv = QStandardPaths::findExecutable("mpv");
    if (mpv.isEmpty()) {
        std::printf("mpv: not installed\n");
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
    const double mpvCpu = cpuSeconds(RUSAGE_CHILDREN) - child0;
    std::printf("mpv --vo=gpu: exit %d, CPU %.3f s per s of playback; engine / mpv = %.2f\n", player.exitCode(),
                mpvCpu / seconds, played > 0 && mpvCpu > 0 ? (cpu / played) / (mpvCpu / seconds) : 0.0);
    return 0;
}
