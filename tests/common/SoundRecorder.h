// The left channel of the null sink "test_sink", recorded by parec on its monitor.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

int64_t steadyUs(); // the steady clock, in µs

class SoundRecorder {
public:
    static constexpr int kRate = 44100;
    ~SoundRecorder() { stop(); }
    // Starts parec and waits for its first samples; false (error() says why) without them.
    bool start();
    void stop();
    const std::string &error() const { return lastError; }
    int64_t startUs() const;

    // RMS of each 10 ms window; RMS over [from, to) seconds of the recording.
    std::vector<double> levels() const;
    double rms(double from, double to) const;
    // Frequency of consecutive windows of `window` seconds, 0 for those below threshold.
    std::vector<double> frequencyOverTime(double window, double threshold = 0.02) const;
    // When sound rises to threshold after quietMs below it (steady clock, first sample above).
    std::vector<int64_t> onsetsUs(double threshold, int quietMs) const;
    // The longest run of windows below threshold within [fromUs, toUs), in ms.
    double longestGapMs(int64_t fromUs, int64_t toUs, double threshold) const;

private:
    void readLoop(int fd);
    double rmsOf(size_t begin, size_t end) const; // lock held
    int64_t playedAtUs(size_t sample) const;       // lock held

    int childPid = -1;
    std::thread reader;
    mutable std::mutex lock;
    std::vector<float> samples; // guarded by lock
    int64_t firstUs = INT64_MAX; // guarded by lock
    std::vector<std::pair<size_t, int64_t>> arrivals; // guarded by lock: samples so far and steadyUs at each read
    std::string lastError;
};
