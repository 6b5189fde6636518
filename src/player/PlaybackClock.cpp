#include "player/PlaybackClock.h"

#include <algorithm>
#include <chrono>

PlaybackClock::PlaybackClock(uint64_t durationMs)
    : durationMs(durationMs), position(0), running(false), startedAt(nowNs())
{
}

int64_t PlaybackClock::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint64_t PlaybackClock::positionLocked() const
{
    if (!running)
        return position;
    const uint64_t elapsed = static_cast<uint64_t>((nowNs() - startedAt) / 1000000);
    const uint64_t p = position + elapsed;
    return durationMs > 0 ? std::min(p, durationMs) : p;
}

void PlaybackClock::reset(uint64_t d)
{
    std::lock_guard<std::mutex> guard(lock);
    running = false;
    durationMs = d;
    position = 0;
    startedAt = nowNs();
}

void PlaybackClock::start()
{
    std::lock_guard<std::mutex> guard(lock);
    startedAt = nowNs();
    running = true;
}

void PlaybackClock::pause()
{
    std::lock_guard<std::mutex> guard(lock);
    if (!running)
        return;
    // A running clock stops where it reads: at most at the end.
    position = positionLocked();
    running = false;
}

void PlaybackClock::pauseAt(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(lock);
    running = false;
    position = ms;
    startedAt = nowNs();
}

void PlaybackClock::setPosition(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(lock);
    position = ms;
    startedAt = nowNs();
}

uint64_t PlaybackClock::currentPosition() const
{
    std::lock_guard<std::mutex> guard(lock);
    return positionLocked();
}

uint64_t PlaybackClock::duration() const
{
    std::lock_guard<std::mutex> guard(lock);
    return durationMs;
}

bool PlaybackClock::reachedEnd() const
{
    std::lock_guard<std::mutex> guard(lock);
    return durationMs > 0 && positionLocked() >= durationMs;
}

bool PlaybackClock::isRunning() const
{
    std::lock_guard<std::mutex> guard(lock);
    return running;
}
