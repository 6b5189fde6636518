#include "support/FpsCounter.h"

#include <QDebug>
#include <QLoggingCategory>

namespace {
// The shortest interval starts at the largest 32-bit value, not the 64-bit one.
constexpr uint64_t kShortestStart = 0xFFFFFFFFu;
constexpr uint64_t kLongestStart = 1;
constexpr uint64_t kWindowUs = 1000000;
} // namespace

FpsCounter::FpsCounter(const char *name)
    : name(name ? name : "")
    , ticks(0)
    , shortestUs(kShortestStart)
    , longestUs(kLongestStart)
    , lastTickUs(0)
    , rateValue(0)
    , maxRateValue(0)
    , minRateValue(0)
{
}

bool FpsCounter::tick()
{
    const uint64_t now = timer.elapsedUs();
    const uint64_t delta = now - lastTickUs;
    if (delta < shortestUs)
        shortestUs = delta == 0 ? 1 : delta;
    if (delta > longestUs)
        longestUs = delta;
    lastTickUs = now;

    if (now <= kWindowUs) {
        ++ticks;
        return false;
    }

    // The closing event belongs to no window's count, but its interval
    // already took part in the shortest and longest above.
    rateValue.store(ticks, std::memory_order_relaxed);
    ticks = 0;
    minRateValue.store(kWindowUs / longestUs, std::memory_order_relaxed);
    longestUs = kLongestStart;
    maxRateValue.store(kWindowUs / shortestUs, std::memory_order_relaxed);
    shortestUs = kShortestStart;
    timer.restart();
    lastTickUs = 0;
    return true;
}

void FpsCounter::print(const QLoggingCategory &category)
{
    // debug(category) rather than a logger named after it: only the former
    // asks the category whether debug lines are on.
    QMessageLogger(nullptr, 0, nullptr).debug(category) << name.c_str() << " " << rate() << ' ' << maxRate() << ' '
                                                      << minRate();
}
