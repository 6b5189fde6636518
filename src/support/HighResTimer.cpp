#include "support/HighResTimer.h"
#include "support/HighResTimerProbe.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// The monotonic clock in nanoseconds stands in for the performance counter.
constexpr int64_t kFrequency = 1000000000;
// Waits longer than this are taken as one relative sleep.
constexpr uint32_t kLongWaitMs = 249;

// Writes *ns only on success.
bool readMonotonic(int64_t *ns)
{
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
        return false;
    *ns = int64_t(ts.tv_sec) * kFrequency + ts.tv_nsec;
    return true;
}

} // namespace

struct HighResTimer::Record {
    int waitableTimer = -1; // timerfd; -1 when it could not be created
    int64_t frequency = kFrequency;
    int64_t start = 0;
    int64_t now = 0;
    HighResTimerProbe::CounterFn counter = readMonotonic;
    HighResTimerProbe::Counts counts = {};

    // (now - start) * scale / frequency with the remainder dropped. Dividing
    // first and scaling the remainder gives the same result as the plain
    // product, which at 1 GHz would overflow after 2.5 hours of elapsedUs.
    uint64_t elapsed(int64_t scale)
    {
        if (!counter(&now))
            return 0;
        const int64_t ticks = now - start;
        return uint64_t(ticks / frequency * scale + ticks % frequency * scale / frequency);
    }

    // A failed read leaves start where it was.
    void restart() { counter(&start); }

    // Arms the timerfd (relative, or absolute with TFD_TIMER_ABSTIME) and
    // blocks until it fires. False when it could not be armed.
    bool armAndWait(const itimerspec &due, int flags)
    {
        if (timerfd_settime(waitableTimer, flags, &due, nullptr) != 0)
            return false;
        ++counts.timerArms;
        uint64_t expirations;
        ssize_t got;
        do {
            got = read(waitableTimer, &expirations, sizeof expirations);
        } while (got < 0 && errno == EINTR);
        return true;
    }

    // Blocks until leftNs from now have passed, as one absolute-deadline wait
    // on the monotonic clock: the kernel wakes the thread at the deadline
    // (within its timer slack, some 50 us) and nothing spins meanwhile.
    void sleepFor(int64_t leftNs)
    {
        if (leftNs <= 0)
            return;
        counts.lastPreciseNs = leftNs;
        int64_t nowNs;
        if (!readMonotonic(&nowNs)) {
            ++counts.plainSleeps;
            sleepMs(uint32_t((leftNs + 999999) / 1000000));
            return;
        }
        const int64_t deadlineNs = nowNs + leftNs;
        timespec deadline = {time_t(deadlineNs / kFrequency), long(deadlineNs % kFrequency)};
        if (waitableTimer >= 0) {
            itimerspec due = {};
            due.it_value = deadline;
            if (armAndWait(due, TFD_TIMER_ABSTIME))
                return;
        }
        ++counts.plainSleeps;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
};

HighResTimer::HighResTimer()
    : record(new Record)
{
    record->waitableTimer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    record->restart();
}

HighResTimer::~HighResTimer()
{
    if (record->waitableTimer >= 0)
        close(record->waitableTimer);
    delete record;
}

uint64_t HighResTimer::elapsedMs()
{
    return record->elapsed(1000);
}

uint64_t HighResTimer::elapsedUs()
{
    return record->elapsed(1000000);
}

void HighResTimer::restart()
{
    record->restart();
}

void HighResTimer::sleepUntil(uint64_t totalMs)
{
    const uint64_t done = elapsedMs();
    if (totalMs <= done)
        return;
    uint64_t remaining = totalMs - done;
    if (remaining > 0xFFFFFFFFu)
        remaining = 0xFFFFFFFFu;
    if (int32_t(uint32_t(remaining)) <= 0)
        return;
    if (remaining > kLongWaitMs) {
        coarseSleep(uint32_t(remaining));
        return;
    }
    // The deadline is the instant start + totalMs itself, not "now + the whole
    // milliseconds left", so a loop keeps its period to the microsecond. (The
    // bound only matters when the clock read above failed.)
    const int64_t leftNs = std::min(int64_t(totalMs) * 1000000 - (record->now - record->start),
                                    int64_t(remaining) * 1000000);
    record->sleepFor(leftNs);
}

void HighResTimer::sleepUntilThenRestart(uint32_t totalMs)
{
    sleepUntil(totalMs);
    restart();
}

void HighResTimer::preciseSleep(uint32_t ms)
{
    // Long waits need no precision.
    if (ms > kLongWaitMs) {
        coarseSleep(ms);
        return;
    }
    record->sleepFor(int64_t(ms) * 1000000);
}

void HighResTimer::coarseSleep(uint32_t ms)
{
    if (record->waitableTimer >= 0) {
        itimerspec due = {};
        due.it_value.tv_sec = ms / 1000;
        due.it_value.tv_nsec = long(ms % 1000) * 1000000;
        // A zero value would disarm the timer and the read would never return.
        if (ms == 0)
            due.it_value.tv_nsec = 1;
        if (record->armAndWait(due, 0))
            return;
    }
    ++record->counts.plainSleeps;
    sleepMs(ms);
}

uint64_t msTicks()
{
    timespec ts = {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

void sleepMs(uint32_t ms)
{
    timespec left = {time_t(ms / 1000), long(ms % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

HighResTimerProbe::Counts HighResTimerProbe::counts(const HighResTimer &timer)
{
    return timer.record->counts;
}

void HighResTimerProbe::resetCounts(HighResTimer &timer)
{
    timer.record->counts = {};
}

bool HighResTimerProbe::hasWaitableTimer(const HighResTimer &timer)
{
    return timer.record->waitableTimer >= 0;
}

void HighResTimerProbe::dropWaitableTimer(HighResTimer &timer)
{
    if (timer.record->waitableTimer >= 0)
        close(timer.record->waitableTimer);
    timer.record->waitableTimer = -1;
}

void HighResTimerProbe::setCounter(HighResTimer &timer, CounterFn counter)
{
    timer.record->counter = counter ? counter : readMonotonic;
    timer.record->restart();
}
