// Wall-clock playback position. Written on the engine's owner thread, read by
// the ticker, the demux thread and the owner: one mutex guards every member, so
// each operation - a pause adding the elapsed time, a position read - is atomic
// as a whole. A duration of 0 means the length is unknown: the position is then
// never limited and the end is never reached.
#pragma once

#include <cstdint>
#include <mutex>

class PlaybackClock {
public:
    explicit PlaybackClock(uint64_t durationMs);

    void reset(uint64_t durationMs);
    void start();
    void pause();
    // Stops the clock at ms in one step (a stop or a seek).
    void pauseAt(uint64_t ms);
    void setPosition(uint64_t ms);
    uint64_t currentPosition() const;
    uint64_t duration() const;
    bool reachedEnd() const;
    bool isRunning() const;

private:
    static int64_t nowNs();
    uint64_t positionLocked() const;

    mutable std::mutex lock;
    uint64_t durationMs; // guarded by lock
    uint64_t position;   // guarded by lock
    bool running;        // guarded by lock
    int64_t startedAt;   // guarded by lock; steady clock, ns
};
