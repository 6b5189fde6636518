#include "common/SoundRecorder.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kLevelWindow = 0.01;

// Energy of one frequency in samples [begin, end) (Goertzel).
double goertzelPower(const float *samples, size_t count, double hz)
{
    const double coeff = 2.0 * std::cos(kTwoPi * hz / SoundRecorder::kRate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double s0 = samples[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}
} // namespace

SoundRecorder::SoundRecorder()
{
    file.setFileTemplate(QDir::tempPath() + QStringLiteral("/pla-recording-XXXXXX.raw"));
}

SoundRecorder::~SoundRecorder()
{
    if (parec.state() != QProcess::NotRunning) {
        parec.terminate();
        if (!parec.waitForFinished(5000))
            parec.kill();
        parec.waitForFinished(5000);
    }
}

bool SoundRecorder::start()
{
    left.clear();
    right.clear();
    if (!file.open()) {
        lastError = "cannot create the recording file";
        return false;
    }
    file.resize(0);
    // Written straight to a file, so the recording does not depend on anyone
    // running an event loop to drain a pipe.
    parec.setStandardOutputFile(file.fileName());
    parec.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    parec.start(QStringLiteral("parec"),
                {QStringLiteral("-d"), QStringLiteral("test_sink.monitor"), QStringLiteral("--format=float32le"),
                 QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=20")});
    if (!parec.waitForStarted(5000)) {
        lastError = "parec did not start: " + parec.errorString().toStdString();
        return false;
    }
    // The file grows once the stream is connected; before that nothing is heard.
    for (int i = 0; i < 500 && file.size() == 0; ++i) {
        if (parec.waitForFinished(10)) {
            lastError = "parec ended at once (is PulseAudio running?)";
            return false;
        }
    }
    if (file.size() == 0) {
        lastError = "parec recorded nothing in 5 s";
        return false;
    }
    return true;
}

void SoundRecorder::stop()
{
    if (parec.state() != QProcess::NotRunning) {
        parec.terminate();
        if (!parec.waitForFinished(5000)) {
            parec.kill();
            parec.waitForFinished(5000);
        }
    }
    file.seek(0);
    const QByteArray bytes = file.readAll();
    const size_t frames = size_t(bytes.size()) / (2 * sizeof(float));
    const auto *samples = reinterpret_cast<const float *>(bytes.constData());
    left.resize(frames);
    right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        left[i] = samples[2 * i];
        right[i] = samples[2 * i + 1];
    }
}

size_t SoundRecorder::index(double seconds) const
{
    if (seconds <= 0)
        return 0;
    return std::min(left.size(), size_t(seconds * kRate));
}

double SoundRecorder::rms(double from, double to) const
{
    const size_t begin = index(from), end = index(to);
    if (end <= begin)
        return 0.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double(left[i]) * left[i];
    return std::sqrt(sum / double(end - begin));
}

double SoundRecorder::peak(double from, double to) const
{
    double result = 0.0;
    for (size_t i = index(from), end = index(to); i < end; ++i)
        result = std::max(result, double(std::fabs(left[i])));
    return result;
}

double SoundRecorder::dominantFrequency(double from, double to) const
{
    const size_t begin = index(from), end = index(to);
    if (end <= begin + 2 || rms(from, to) < 1e-4)
        return 0.0;

    // Zero crossings give a rough estimate for a pure tone; Goertzel over a
    // band around it settles on the strongest frequency.
    size_t crossings = 0;
    for (size_t i = begin + 1; i < end; ++i)
        crossings += (left[i - 1] < 0) != (left[i] < 0);
    const double rough = crossings * 0.5 * kRate / double(end - begin);

    double best = rough, bestPower = -1.0;
    const double low = std::max(20.0, rough * 0.8), high = std::min(kRate / 2.0, rough * 1.25 + 1);
    for (double hz = low; hz <= high; hz += 1.0) {
        const double power = goertzelPower(left.data() + begin, end - begin, hz);
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    return best;
}

double SoundRecorder::soundStart(double after, double threshold) const
{
    for (double t = std::max(0.0, after); t + kLevelWindow <= duration(); t += kLevelWindow) {
        if (rms(t, t + kLevelWindow) >= threshold)
            return t;
    }
    return -1.0;
}

double SoundRecorder::soundEnd(double after, double threshold, double minGap) const
{
    const double start = soundStart(after, threshold);
    if (start < 0)
        return -1.0;
    double quietSince = -1.0;
    for (double t = start; t + kLevelWindow <= duration(); t += kLevelWindow) {
        if (rms(t, t + kLevelWindow) >= threshold)
            quietSince = -1.0;
        else if (quietSince < 0)
            quietSince = t;
        if (quietSince >= 0 && t + kLevelWindow - quietSince >= minGap - 1e-9)
            return quietSince;
    }
    return -1.0;
}

double SoundRecorder::soundDuration(double from, double to, double threshold) const
{
    double total = 0.0;
    for (double t = std::max(0.0, from); t + kLevelWindow <= std::min(to, duration()) + 1e-9; t += kLevelWindow) {
        if (rms(t, t + kLevelWindow) >= threshold)
            total += kLevelWindow;
    }
    return total;
}

namespace {
double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}
} // namespace

double SoundRecorder::level(double from, double to) const
{
    std::vector<double> levels;
    for (double t = std::max(0.0, from); t + kLevelWindow <= std::min(to, duration()) + 1e-9; t += kLevelWindow)
        levels.push_back(rms(t, t + kLevelWindow));
    return median(levels);
}

double SoundRecorder::tone(double from, double to, double threshold) const
{
    constexpr double kToneWindow = 0.1;
    std::vector<double> pitches;
    for (double t = std::max(0.0, from); t + kToneWindow <= std::min(to, duration()) + 1e-9; t += kToneWindow) {
        // Only windows with sound all through: a dropout inside one would skew
        // the zero-crossing estimate.
        bool sounding = true;
        for (double w = t; sounding && w + kLevelWindow <= t + kToneWindow + 1e-9; w += kLevelWindow)
            sounding = rms(w, w + kLevelWindow) >= threshold;
        if (sounding)
            pitches.push_back(dominantFrequency(t, t + kToneWindow));
    }
    return median(pitches);
}

std::vector<double> SoundRecorder::frequencyOverTime(double window, double threshold) const
{
    std::vector<double> result;
    for (double t = 0.0; t + window <= duration(); t += window)
        result.push_back(rms(t, t + window) >= threshold ? dominantFrequency(t, t + window) : 0.0);
    return result;
}
