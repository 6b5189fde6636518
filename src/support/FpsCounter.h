// Named rate counter: once a second turns the counted events into the rate of
// the last window, the highest and the lowest instantaneous rate. Ticked by one
// thread; the results are read from any other thread: each is an atomic
// (relaxed - a reader may see one window's rate with the previous window's
// highest, which is fine for statistics).
#pragma once

#include "support/HighResTimer.h"

#include <atomic>
#include <cstdint>
#include <string>

class QLoggingCategory;

class FpsCounter {
public:
    explicit FpsCounter(const char *name);

    bool tick();
    // The name and the rates, as a debug line of the given category.
    void print(const QLoggingCategory &category);
    int64_t rate() const { return rateValue.load(std::memory_order_relaxed); }
    uint64_t maxRate() const { return maxRateValue.load(std::memory_order_relaxed); }
    uint64_t minRate() const { return minRateValue.load(std::memory_order_relaxed); }

private:
    friend struct FpsCounterProbe; // test seam: reaches the window's timer
    std::string name;
    int32_t ticks;
    HighResTimer timer;
    uint64_t shortestUs;
    uint64_t longestUs;
    uint64_t lastTickUs;
    // Written by the ticking thread, read anywhere.
    std::atomic<int64_t> rateValue;
    std::atomic<uint64_t> maxRateValue;
    std::atomic<uint64_t> minRateValue;
};
