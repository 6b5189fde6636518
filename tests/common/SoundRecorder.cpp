#include "common/SoundRecorder.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kLevelWindow = 0.01;

// The first 10 ms window that starts at or after `seconds`.
size_t firstWindow(double seconds)
{
    return seconds <= 0 ? 0 : size_t(std::ceil(seconds / kLevelWindow - 1e-6));
}
} // namespace

void SoundRecorder::endParec()
{
    parec.terminate();
    if (parec.state() != QProcess::NotRunning && !parec.waitForFinished(5000)) {
        parec.kill();
        parec.waitForFinished(5000);
    }
}

bool SoundRecorder::start()
{
    samples.clear();
    levels.clear();
    if (!file.open()) {
        lastError = "cannot create the recording file";
        return false;
    }
    file.resize(0);
    // Written straight to a file, so the recording does not depend on anyone
    // running an event loop to drain a pipe.
    parec.setStandardOutputFile(file.fileName());
    parec.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString options = QStringLiteral("-d test_sink.monitor --format=float32le --rate=44100 "
                                           "--channels=2 --latency-msec=20");
    parec.start(QStringLiteral("parec"), options.split(QLatin1Char(' ')));
    if (!parec.waitForStarted(5000)) {
        lastError = "parec did not start: " + parec.errorString().toStdString();
        return false;
    }
    // The file grows once the stream is connected; before that nothing is heard.
    for (int i = 0; i < 500 && file.size() == 0 && !parec.waitForFinished(10); ++i)
        continue;
    if (file.size() == 0)
        lastError = parec.state() == QProcess::NotRunning ? "parec ended at once (is PulseAudio running?)"
                                                          : "parec recorded nothing in 5 s";
    return file.size() > 0;
}

void SoundRecorder::stop()
{
    endParec();
    file.seek(0);
    const QByteArray bytes = file.readAll();
    const auto *frames = reinterpret_cast<const float *>(bytes.constData());
    samples.resize(size_t(bytes.size()) / (2 * sizeof(float)));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = frames[2 * i];
    levels.clear();
    for (double t = 0; t + kLevelWindow <= duration(); t += kLevelWindow)
        levels.push_back(rms(t, t + kLevelWindow));
}

size_t SoundRecorder::index(double seconds) const
{
    return seconds <= 0 ? 0 : std::min(samples.size(), size_t(std::lround(seconds * kRate)));
}

double SoundRecorder::rms(double from, double to) const
{
    const size_t begin = index(from), end = index(to);
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double(samples[i]) * samples[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0.0;
}

// Zero crossings after the first, over twice the time from the first to the last
// (each placed between its samples): exact for a tone, blind to silence around it.
double SoundRecorder::frequency(double from, double to) const
{
    double first = -1.0, last = -1.0;
    size_t crossings = 0;
    for (size_t i = index(from) + 1; i < index(to); ++i) {
        const float a = samples[i - 1], b = samples[i];
        if ((a < 0) == (b < 0))
            continue;
        last = double(i - 1) + a / (a - b);
        if (crossings++ == 0)
            first = last;
    }
    return crossings < 2 || last <= first ? 0.0 : (crossings - 1) * 0.5 * kRate / (last - first);
}

std::vector<double> SoundRecorder::frequencyOverTime(double window, double threshold) const
{
    std::vector<double> result;
    for (double t = 0.0; t + window <= duration(); t += window)
        result.push_back(rms(t, t + window) >= threshold ? frequency(t, t + window) : 0.0);
    return result;
}

double SoundRecorder::soundStart(double after, double threshold) const
{
    size_t i = firstWindow(after);
    while (i < levels.size() && levels[i] < threshold)
        ++i;
    return i < levels.size() ? i * kLevelWindow : -1.0;
}

double SoundRecorder::soundEnd(double after, double threshold, double minGap) const
{
    const double start = soundStart(after, threshold);
    const size_t gap = std::max<long>(1, std::lround(minGap / kLevelWindow));
    size_t quiet = 0;
    for (size_t i = firstWindow(start); start >= 0 && i < levels.size(); ++i) {
        quiet = levels[i] >= threshold ? 0 : quiet + 1;
        if (quiet == gap)
            return (i + 1 - gap) * kLevelWindow;
    }
    return -1.0;
}

double SoundRecorder::soundDuration(double from, double to, double threshold) const
{
    double total = 0.0;
    for (size_t i = firstWindow(from); i < levels.size() && (i + 1) * kLevelWindow <= to + 1e-9; ++i)
        total += levels[i] >= threshold ? kLevelWindow : 0.0;
    return total;
}
