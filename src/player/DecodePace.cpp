#include "player/DecodePace.h"

#include <algorithm>
#include <cmath>

namespace {

// The weight of past work halves with every this much media time.
constexpr double HalfLifeMs = 1500;
// Enough work to judge a level by.
constexpr double KnownBusyMs = 300;
constexpr double KnownMediaMs = 500;
// A level is left for a lower one only with this much room.
constexpr double StepDownLoad = 0.5;

} // namespace

void DecodePace::addWork(double busyMs, int64_t mediaMs)
{
    if (mediaMs > 0) {
        const double keep = std::exp2(-double(mediaMs) / HalfLifeMs);
        busySum *= keep;
        mediaSum *= keep;
    }
    busySum += busyMs;
    mediaSum += double(mediaMs);
    busyTotal += busyMs;
    mediaTotal += double(mediaMs);
}

double DecodePace::load() const
{
    if ((busyTotal < KnownBusyMs && mediaTotal < KnownMediaMs) || mediaSum <= 0)
        return -1;
    return busySum / mediaSum;
}

void DecodePace::pictureLate(int64_t lateMs, uint64_t nowMs)
{
    worstLateMs = std::max(worstLateMs, lateMs);
    lastLateMs = nowMs;
}

bool DecodePace::update(bool running, uint64_t nowMs)
{
    const int64_t late = worstLateMs;
    worstLateMs = 0;
    if (!running)
        return false;

    const double measured = load();
    Level up = current;
    if (measured > 2)
        up = KeysOnly;
    else if (measured > 1)
        up = Level(std::min<int>(current + 1, KeysOnly));
    if (late > SkipToKeysBehindMs)
        up = KeysOnly;
    else if (late > SkipBehindMs)
        up = std::max(up, NonRef);
    if (up > current) {
        if (lastStepDown)
            waitMs = std::min(2 * waitMs, LongestStepDownWaitMs);
        step(up, nowMs);
        lastStepDown = false;
        return true;
    }

    const uint64_t quietSince = std::max(lastLateMs, lastStepMs);
    if (current > All && measured >= 0 && measured <= StepDownLoad && nowMs - quietSince >= waitMs) {
        step(Level(current - 1), nowMs);
        lastStepDown = true;
        return true;
    }
    return false;
}

void DecodePace::step(Level to, uint64_t nowMs)
{
    current = to;
    lastStepMs = nowMs;
    busySum = mediaSum = busyTotal = mediaTotal = 0;
}
