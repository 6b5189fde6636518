#include "common/SoundRecorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr size_t kWindow = SoundRecorder::kRate / 100; // 10 ms
}

int64_t steadyUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool SoundRecorder::start()
{
    int fds[2];
    if (pipe(fds) != 0 || (childPid = fork()) < 0) {
        lastError = "pipe or fork failed";
        return false;
    }
    if (childPid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execlp("parec", "parec", "-d", "test_sink.monitor", "--format=float32le", "--rate=44100", "--channels=2",
               "--latency-msec=5", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    reader = std::thread([this, fd = fds[0]] { readLoop(fd); });
    for (int i = 0; i < 500; ++i, usleep(10000)) {
        std::lock_guard<std::mutex> guard(lock);
        if (!samples.empty())
            return true;
    }
    lastError = "parec recorded nothing in 5 s (is PulseAudio running?)";
    return false;
}

void SoundRecorder::readLoop(int fd)
{
    std::vector<char> carry; // a frame split between reads
    char raw[16384];
    for (ssize_t n; (n = read(fd, raw, sizeof raw)) > 0;) {
        const int64_t arrived = steadyUs();
        carry.insert(carry.end(), raw, raw + n);
        const size_t frames = carry.size() / 8;
        std::lock_guard<std::mutex> guard(lock);
        for (size_t i = 0; i < frames; ++i) {
            float left;
            std::memcpy(&left, &carry[i * 8], sizeof left);
            samples.push_back(left);
        }
        carry.erase(carry.begin(), carry.begin() + long(frames * 8));
        firstUs = std::min(firstUs, arrived - int64_t(samples.size()) * 1000000 / kRate);
        arrivals.emplace_back(samples.size(), arrived);
    }
    close(fd);
}

void SoundRecorder::stop()
{
    if (childPid > 0) {
        kill(childPid, SIGTERM);
        waitpid(childPid, nullptr, 0);
        childPid = -1;
    }
    if (reader.joinable())
        reader.join();
}

int64_t SoundRecorder::startUs() const
{
    std::lock_guard<std::mutex> guard(lock);
    return firstUs;
}

double SoundRecorder::rmsOf(size_t begin, size_t end) const
{
    end = std::min(end, samples.size());
    double sum = 0;
    for (size_t i = begin; i < end; ++i)
        sum += double(samples[i]) * samples[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0.0;
}

std::vector<double> SoundRecorder::levels() const
{
    std::lock_guard<std::mutex> guard(lock);
    std::vector<double> result;
    for (size_t w = 0; (w + 1) * kWindow <= samples.size(); ++w)
        result.push_back(rmsOf(w * kWindow, (w + 1) * kWindow));
    return result;
}

double SoundRecorder::rms(double from, double to) const
{
    std::lock_guard<std::mutex> guard(lock);
    return rmsOf(size_t(std::max(0.0, from) * kRate), size_t(std::max(0.0, to) * kRate));
}

// Zero crossings over twice the time from the first to the last: exact for a tone.
std::vector<double> SoundRecorder::frequencyOverTime(double window, double threshold) const
{
    std::lock_guard<std::mutex> guard(lock);
    std::vector<double> result;
    const size_t length = size_t(window * kRate);
    for (size_t from = 0; from + length <= samples.size(); from = size_t(double(result.size()) * window * kRate)) {
        double first = -1, last = -1;
        size_t crossings = 0;
        for (size_t i = from + 1; i < from + length; ++i) {
            const float a = samples[i - 1], b = samples[i];
            if ((a < 0) == (b < 0))
                continue;
            last = double(i - 1) + a / (a - b);
            if (crossings++ == 0)
                first = last;
        }
        const bool tone = rmsOf(from, from + length) >= threshold && crossings >= 2 && last > first;
        result.push_back(tone ? double(crossings - 1) * 0.5 * kRate / (last - first) : 0.0);
    }
    return result;
}

// Each read within 2 s after sample i bounds when it was played: the arrival less the samples after.
int64_t SoundRecorder::playedAtUs(size_t i) const
{
    auto read = std::upper_bound(arrivals.begin(), arrivals.end(), i,
                                 [](size_t sample, const std::pair<size_t, int64_t> &a) { return sample < a.first; });
    int64_t best = INT64_MAX;
    for (; read != arrivals.end() && read->first - i <= 2 * size_t(kRate); ++read)
        best = std::min(best, read->second - int64_t(read->first - i) * 1000000 / kRate);
    return best == INT64_MAX ? firstUs + int64_t(i) * 1000000 / kRate : best;
}

std::vector<int64_t> SoundRecorder::onsetsUs(double threshold, int quietMs) const
{
    const std::vector<double> level = levels();
    std::lock_guard<std::mutex> guard(lock);
    std::vector<int64_t> result;
    int quiet = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        if (level[w] < threshold) {
            quiet += 10;
            continue;
        }
        if (quiet >= quietMs) {
            size_t i = w * kWindow;
            while (i < (w + 1) * kWindow && std::fabs(samples[i]) < threshold)
                ++i;
            result.push_back(playedAtUs(i));
        }
        quiet = 0;
    }
    return result;
}

double SoundRecorder::longestGapMs(int64_t fromUs, int64_t toUs, double threshold) const
{
    const std::vector<double> level = levels();
    const int64_t start = startUs();
    double longest = 0, run = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        const int64_t at = start + int64_t(w) * 10000;
        if (at >= fromUs && at < toUs)
            longest = std::max(longest, run = level[w] < threshold ? run + 10 : 0);
    }
    return longest;
}
