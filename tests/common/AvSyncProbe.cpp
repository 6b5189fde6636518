#include "common/AvSyncProbe.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <cstring>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr size_t kWindow = TimedRecording::kRate / 100; // 10 ms
}

int64_t steadyUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TimedRecording::start()
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        lastError = "pipe failed";
        return false;
    }
    childPid = fork();
    if (childPid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execlp("parec", "parec", "-d", "test_sink.monitor", "--format=float32le", "--rate=44100", "--channels=2",
               "--latency-msec=5", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    if (childPid < 0) {
        close(pipeFds[0]);
        lastError = "fork failed";
        return false;
    }
    reader = std::thread([this, fd = pipeFds[0]] { readLoop(fd); });
    // The recording runs once the first samples have come.
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!samples.empty())
                return true;
        }
        usleep(10000);
    }
    lastError = "parec recorded nothing in 5 s (is PulseAudio running?)";
    return false;
}

void TimedRecording::readLoop(int fd)
{
    std::vector<char> carry; // bytes of a frame split between reads
    for (;;) {
        char raw[16384];
        const ssize_t n = read(fd, raw, sizeof raw);
        const int64_t arrived = steadyUs();
        if (n <= 0)
            break;
        carry.insert(carry.end(), raw, raw + n);
        const size_t frames = carry.size() / 8;
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < frames; ++i) {
            float left;
            std::memcpy(&left, &carry[i * 8], sizeof left);
            samples.push_back(left);
        }
        carry.erase(carry.begin(), carry.begin() + long(frames * 8));
        const int64_t bound = arrived - int64_t(samples.size()) * 1000000 / kRate;
        startUs = std::min(startUs, bound);
    }
    close(fd);
}

void TimedRecording::stop()
{
    if (childPid > 0) {
        kill(childPid, SIGTERM);
        waitpid(childPid, nullptr, 0);
        childPid = -1;
    }
    if (reader.joinable())
        reader.join();
}

std::vector<double> TimedRecording::levels() const
{
    std::vector<double> result;
    for (size_t w = 0; (w + 1) * kWindow <= samples.size(); ++w) {
        double sum = 0;
        for (size_t i = w * kWindow; i < (w + 1) * kWindow; ++i)
            sum += double(samples[i]) * samples[i];
        result.push_back(std::sqrt(sum / kWindow));
    }
    return result;
}

std::vector<int64_t> TimedRecording::onsetsUs(double threshold, int quietMs) const
{
    std::lock_guard<std::mutex> guard(lock);
    const std::vector<double> level = levels();
    std::vector<int64_t> result;
    int quiet = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        if (level[w] < threshold) {
            quiet += 10;
            continue;
        }
        if (quiet >= quietMs) {
            // Down to the sample: the first one of the window over the threshold's amplitude.
            size_t i = w * kWindow;
            while (i < (w + 1) * kWindow && std::fabs(samples[i]) < threshold)
                ++i;
            result.push_back(startUs + int64_t(i) * 1000000 / kRate);
        }
        quiet = 0;
    }
    return result;
}

double TimedRecording::longestGapMs(int64_t fromUs, int64_t toUs, double threshold) const
{
    std::lock_guard<std::mutex> guard(lock);
    const std::vector<double> level = levels();
    double longest = 0, run = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        const int64_t at = startUs + int64_t(w * kWindow) * 1000000 / kRate;
        if (at < fromUs || at >= toUs)
            continue;
        run = level[w] < threshold ? run + 10 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

FlashSampler::FlashSampler(QWidget *widget) : FlashSampler(QPoint())
{
    this->widget = widget;
}

FlashSampler::FlashSampler(QPoint onScreen) : point(onScreen)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { sample(); });
    timer.start();
}

void FlashSampler::sample()
{
    const QPoint centre = widget ? widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2)) : point;
    const int64_t at = steadyUs();
    const QColor c =
        QGuiApplication::primaryScreen()->grabWindow(0, centre.x(), centre.y(), 1, 1).toImage().pixelColor(0, 0);
    const bool nowWhite = c.lightness() > 160;
    if (nowWhite && !white)
        onsets.push_back(at);
    white = nowWhite;
}

std::vector<double> syncOffsetsMs(const std::vector<int64_t> &beepsUs, const std::vector<int64_t> &flashesUs)
{
    std::vector<double> result;
    for (int64_t flash : flashesUs) {
        for (int64_t beep : beepsUs) {
            if (std::llabs(beep - flash) <= 400000) {
                result.push_back(double(beep - flash) / 1000.0);
                break;
            }
        }
    }
    return result;
}
