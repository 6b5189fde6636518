// Records what the PulseAudio null sink "test_sink" plays (parec on its monitor,
// 44100 Hz stereo float) and measures the left channel: level, pitch, where
// sound starts and stops. Used from the test's thread; owns the parec process
// and the recorded samples. Times are seconds from the start of the recording.
#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryFile>

#include <string>
#include <vector>

class SoundRecorder {
public:
    static constexpr int kRate = 44100;

    ~SoundRecorder() { endParec(); }

    // Starts parec; false (with error() saying why) when it could not start.
    bool start();
    // Stops parec and loads what it recorded; the analysis reads these samples.
    void stop();
    const std::string &error() const { return lastError; }
    double duration() const { return double(samples.size()) / kRate; }

    // RMS level over [from, to) seconds (clamped to the recording).
    double rms(double from, double to) const;
    // Frequency of consecutive windows of `window` seconds, 0 for the quiet ones.
    std::vector<double> frequencyOverTime(double window, double threshold = 0.02) const;

    // Sound is a 10 ms window whose RMS reaches threshold.
    // Start of the first such window at or after `after`; -1 when there is none.
    double soundStart(double after = 0.0, double threshold = 0.02) const;
    // Where the sound that soundStart finds ends: the start of the first run of
    // quiet windows lasting minGap seconds; -1 when there is none.
    double soundEnd(double after = 0.0, double threshold = 0.02, double minGap = 0.25) const;
    // Seconds of [from, to) covered by windows with sound.
    double soundDuration(double from, double to, double threshold = 0.02) const;

private:
    void endParec();
    size_t index(double seconds) const;
    double frequency(double from, double to) const;

    QProcess parec;
    QTemporaryFile file{QDir::tempPath() + QStringLiteral("/pla-recording-XXXXXX.raw")};
    std::vector<float> samples; // the left channel
    std::vector<double> levels; // RMS of each 10 ms window
    std::string lastError;
};
