#include "player/PlaybackClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

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

double PlaybackClock::positionLocked() const
{
    if (!running)
        return position;
    double elapsed = static_cast<double>(nowNs() - startedAt) / 1e6;
    if (waitingForSound)
        elapsed = std::max(0.0, elapsed - soundWaitMs); // stands until the sound starts, or gives up waiting
    double p = std::max(position + elapsed, lastRead);
    if (durationMs > 0)
        p = std::min(p, static_cast<double>(durationMs));
    lastRead = p;
    return p;
}

void PlaybackClock::reset(uint64_t d)
{
    std::lock_guard<std::mutex> guard(lock);
    running = false;
    waitingForSound = false;
    durationMs = d;
    position = 0;
    lastRead = 0;
    startedAt = nowNs();
}

void PlaybackClock::start()
{
    std::lock_guard<std::mutex> guard(lock);
    if (running)
        return;
    startedAt = nowNs();
    running = true;
    waitingForSound = soundLed;
}

void PlaybackClock::pause()
{
    std::lock_guard<std::mutex> guard(lock);
    if (!running)
        return;
    // A running clock stops where it reads: at most at the end.
    position = positionLocked();
    running = false;
    waitingForSound = false;
}

void PlaybackClock::pauseAt(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(lock);
    running = false;
    waitingForSound = false;
    position = static_cast<double>(durationMs > 0 ? std::min(ms, durationMs) : ms);
    lastRead = position;
    startedAt = nowNs();
}

void PlaybackClock::setPosition(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(lock);
    position = static_cast<double>(ms);
    lastRead = position;
    startedAt = nowNs();
}

uint64_t PlaybackClock::currentPosition() const
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<uint64_t>(positionLocked());
}

void PlaybackClock::extendDuration(uint64_t ms)
{
    std::lock_guard<std::mutex> guard(lock);
    if (durationMs > 0 && ms > durationMs)
        durationMs = ms;
}

uint64_t PlaybackClock::duration() const
{
    std::lock_guard<std::mutex> guard(lock);
    return durationMs;
}

bool PlaybackClock::reachedEnd() const
{
    std::lock_guard<std::mutex> guard(lock);
    return durationMs > 0 && positionLocked() >= static_cast<double>(durationMs);
}

bool PlaybackClock::isRunning() const
{
    std::lock_guard<std::mutex> guard(lock);
    return running;
}

void PlaybackClock::followSound(bool on)
{
    std::lock_guard<std::mutex> guard(lock);
    soundLed = on;
    if (!on)
        waitingForSound = false;
}

void PlaybackClock::reportHeard(double heardMs)
{
    std::lock_guard<std::mutex> guard(lock);
    if (!running || !soundLed)
        return;
    const int64_t now = nowNs();
    if (waitingForSound) {
        waitingForSound = false;
        position = heardMs;
        lastRead = std::min(lastRead, heardMs);
        startedAt = now;
        return;
    }
    const double predicted = position + static_cast<double>(now - startedAt) / 1e6;
    const double error = heardMs - predicted;
    position = std::fabs(error) > snapMs ? heardMs : predicted + error * pullFraction;
    if (std::fabs(error) > snapMs)
        lastRead = std::min(lastRead, heardMs);
    startedAt = now;
}
