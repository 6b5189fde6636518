// Named rate counter: once a second turns the counted events into the rate of
// the last window, the highest and the lowest instantaneous rate. Ticked by one
// thread; the results are read from others without a lock (stale is fine).
#pragma once

#include "support/HighResTimer.h"

#include <cstdint>
#include <string>

class FpsCounter {
public:
    explicit FpsCounter(const char *name);

    bool tick();
    void print();
    int64_t rate() const { return rateValue; }
    uint64_t maxRate() const { return maxRateValue; }
    uint64_t minRate() const { return minRateValue; }

private:
    friend struct FpsCounterProbe; // test seam: reaches the window's timer
    std::string name;
    int32_t ticks;
    HighResTimer timer;
    uint64_t shortestUs;
    uint64_t longestUs;
    uint64_t lastTickUs;
    int64_t rateValue;
    uint64_t maxRateValue;
    uint64_t minRateValue;
};
