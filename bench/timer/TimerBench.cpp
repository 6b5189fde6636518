// Runs the 5 ms pass of the demux and repaint loops 1,000 times and reports
// how well the period holds and what each pass costs in CPU time.
#include "support/HighResTimer.h"
#include "support/HighResTimerProbe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr int kPasses = 1000;
constexpr uint32_t kPeriodMs = 5;

int64_t nowNs(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double percentile(const std::vector<int64_t> &sorted, double p)
{
    const size_t index = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return double(sorted[index]);
}

} // namespace

int main(int argc, char **argv)
{
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : kPasses;
    HighResTimer timer;
    std::vector<int64_t> periods;
    periods.reserve(size_t(passes));

    const int64_t cpuStart = nowNs(CLOCK_THREAD_CPUTIME_ID);
    int64_t last = nowNs(CLOCK_MONOTONIC);
    timer.restart();
    for (int i = 0; i < passes; ++i) {
        timer.sleepUntilThenRestart(kPeriodMs);
        const int64_t now = nowNs(CLOCK_MONOTONIC);
        periods.push_back(now - last);
        last = now;
    }
    const int64_t cpuNs = nowNs(CLOCK_THREAD_CPUTIME_ID) - cpuStart;

    double sum = 0;
    std::vector<int64_t> deviations;
    deviations.reserve(periods.size());
    for (int64_t period : periods) {
        sum += double(period);
        deviations.push_back(std::llabs(period - int64_t(kPeriodMs) * 1000000));
    }
    std::sort(deviations.begin(), deviations.end());
    const HighResTimerProbe::Counts counts = HighResTimerProbe::counts(timer);

    std::printf("passes                 %d of sleepUntilThenRestart(%u)\n", passes, kPeriodMs);
    std::printf("mean period            %.3f ms\n", sum / double(passes) / 1e6);
    std::printf("deviation from %u ms    p50 %.1f us  p99 %.1f us  max %.1f us\n", kPeriodMs,
                percentile(deviations, 0.50) / 1e3, percentile(deviations, 0.99) / 1e3,
                double(deviations.back()) / 1e3);
    std::printf("CPU time per pass      %.1f us (%.1f%% of the period)\n", double(cpuNs) / passes / 1e3,
                100.0 * double(cpuNs) / (sum > 0 ? sum : 1));
    std::printf("timer waits per pass   %.2f armed, %.2f plain sleeps\n", double(counts.timerArms) / passes,
                double(counts.plainSleeps) / passes);
    return 0;
}
