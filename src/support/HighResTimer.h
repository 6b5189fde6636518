// Stopwatch on the monotonic clock that can also sleep precisely until a time
// since its start: one timerfd wait armed with the absolute deadline, no
// polling (clock_nanosleep to the same deadline when there is no timerfd).
// Used by one thread at a time; each loop owns its own timer.
#pragma once

#include <cstdint>

class HighResTimer {
public:
    HighResTimer();
    HighResTimer(const HighResTimer &) = delete;
    HighResTimer &operator=(const HighResTimer &) = delete;
    ~HighResTimer();

    uint64_t elapsedMs();
    uint64_t elapsedUs();
    void restart();
    void sleepUntil(uint64_t totalMs);
    void sleepUntilThenRestart(uint32_t totalMs);
    void preciseSleep(uint32_t ms);
    void coarseSleep(uint32_t ms);

private:
    friend struct HighResTimerProbe;  // test seam, support/HighResTimerProbe.h
    struct Record;
    Record *record;
};

// Milliseconds on the monotonic clock, for time stamps that need no precision.
uint64_t msTicks();
// Plain sleep, repeated on EINTR until ms have passed.
void sleepMs(uint32_t ms);
