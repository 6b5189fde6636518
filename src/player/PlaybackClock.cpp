#include "player/PlaybackClock.h"

#include <algorithm>
#include <chrono>

PlaybackClock::PlaybackClock(uint64_t durationMs)
    : duration(durationMs), position(0), running(false), startedAt(nowNs())
{
}

int64_t PlaybackClock::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint64_t PlaybackClock::elapsedMs() const
{
    return static_cast<uint64_t>((nowNs() - startedAt.load()) / 1000000);
}

void PlaybackClock::reset(uint64_t durationMs)
{
    running = false;
    duration = durationMs;
    position = 0;
    startedAt = nowNs();
}

void PlaybackClock::start()
{
    startedAt = nowNs();
    running = true;
}

void PlaybackClock::pause()
{
    if (!running.load())
        return;
    running = false;
    position += elapsedMs();
}

void PlaybackClock::setPosition(uint64_t ms)
{
    position = ms;
    startedAt = nowNs();
}

uint64_t PlaybackClock::currentPosition() const
{
    if (!running.load())
        return position.load();
    // A duration of 0 is unknown: the clock then runs on without a cap.
    const uint64_t d = duration.load();
    return d > 0 ? std::min(position.load() + elapsedMs(), d) : position.load() + elapsedMs();
}

bool PlaybackClock::reachedEnd() const
{
    const uint64_t d = duration.load();
    return d > 0 && currentPosition() >= d;
}
