// Measures sound against picture as a viewer meets them, on one clock (the
// steady clock, in µs): the null sink's monitor recorded as it arrives, and
// the centre of a widget sampled on the screen every few ms. Made for the
// flash-and-beep clips of tools/make-test-media.sh: a white flash and a beep
// at the same media times over a quiet tone.
#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QWidget;

int64_t steadyUs();

// parec on the monitor of "test_sink", read by a thread of its own. For each
// chunk, (arrival - samples so far / rate) bounds when the first sample was
// played; the smallest bound over the recording is its start.
class TimedRecording {
public:
    static constexpr int kRate = 44100;
    ~TimedRecording() { stop(); }
    bool start();
    void stop();
    const std::string &error() const { return lastError; }

    // Where windows of 10 ms rise to `threshold` after at least quietMs below it.
    std::vector<int64_t> onsetsUs(double threshold, int quietMs) const;
    // The longest run of 10 ms windows below threshold within [fromUs, toUs), in ms.
    double longestGapMs(int64_t fromUs, int64_t toUs, double threshold) const;

private:
    void readLoop(int fd);
    std::vector<double> levels() const; // RMS per 10 ms window, from startUs

    int childPid = -1;
    std::thread reader;
    mutable std::mutex lock;
    std::vector<float> samples; // guarded by lock: the left channel
    int64_t startUs = INT64_MAX; // guarded by lock
    std::string lastError;
};

// Samples the screen at a widget's centre (or a point of the screen) every
// ~2 ms on the GUI thread while the event loop runs, and notes when it turns white.
class FlashSampler : public QObject {
public:
    explicit FlashSampler(QWidget *widget);
    explicit FlashSampler(QPoint onScreen);
    std::vector<int64_t> onsetsUs() const { return onsets; }

private:
    void sample();
    QWidget *widget = nullptr;
    QPoint point;
    QTimer timer;
    bool white = false;
    std::vector<int64_t> onsets;
};

// Sound minus picture, in ms, for each flash that has a beep within ±400 ms.
std::vector<double> syncOffsetsMs(const std::vector<int64_t> &beepsUs, const std::vector<int64_t> &flashesUs);
