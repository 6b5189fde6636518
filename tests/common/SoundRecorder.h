// Records what the PulseAudio null sink "test_sink" plays (parec on its monitor,
// 44100 Hz stereo float) and measures it: level, dominant frequency, where sound
// starts and stops. Used from the test's thread; owns the parec process and the
// recorded samples. Times are seconds from the start of the recording.
#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryFile>

#include <string>
#include <vector>

class SoundRecorder {
public:
    static constexpr int kRate = 44100;

    SoundRecorder();
    ~SoundRecorder();

    // Starts parec; false (with error() saying why) when it could not start.
    bool start();
    // Stops parec and loads what it recorded; the analysis reads these samples.
    void stop();
    const std::string &error() const { return lastError; }

    // Samples of one channel (0 left, 1 right) as recorded.
    const std::vector<float> &channel(int index) const { return index == 0 ? left : right; }
    double duration() const { return double(left.size()) / kRate; }

    // Level of channel 0 over [from, to) seconds (clamped to the recording).
    double rms(double from, double to) const;
    double peak(double from, double to) const;

    // Frequency with the most energy over [from, to), searched in 1 Hz steps
    // between minHz and maxHz around the zero-crossing estimate. 0 for silence.
    double dominantFrequency(double from, double to) const;

    // Typical level and pitch over [from, to): the median RMS of its 10 ms
    // windows, and the median dominant frequency of its 100 ms windows that
    // have sound. A busy machine makes the output underrun now and then; short
    // dropouts do not move these.
    double level(double from, double to) const;
    double tone(double from, double to, double threshold = 0.02) const;

    // Start of the first 10 ms window at or after `after` whose RMS reaches
    // threshold; -1 when there is none.
    double soundStart(double after = 0.0, double threshold = 0.02) const;
    // Where the sound that soundStart finds ends: the start of the first run of
    // windows below threshold lasting minGap seconds; -1 when there is none.
    double soundEnd(double after = 0.0, double threshold = 0.02, double minGap = 0.25) const;
    // Seconds of [from, to) covered by windows with sound.
    double soundDuration(double from, double to, double threshold = 0.02) const;

    // Dominant frequency of consecutive windows of `window` seconds, 0 for the
    // silent ones.
    std::vector<double> frequencyOverTime(double window, double threshold = 0.02) const;

private:
    size_t index(double seconds) const;

    QProcess parec;
    QTemporaryFile file;
    std::vector<float> left;
    std::vector<float> right;
    std::string lastError;
};
