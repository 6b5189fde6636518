// Wall-clock playback position. Written by the host thread and by the demux
// thread (a seek completion starts it), read by the ticker and the demux
// thread: every member is atomic, so no reader sees a torn value.
#pragma once

#include <atomic>
#include <cstdint>

class PlaybackClock {
public:
    explicit PlaybackClock(uint64_t durationMs);

    void reset(uint64_t durationMs);
    void start();
    void pause();
    void setPosition(uint64_t ms);
    uint64_t currentPosition() const;
    bool reachedEnd() const;
    bool isRunning() const { return running.load(); }

private:
    static int64_t nowNs();
    uint64_t elapsedMs() const;

    std::atomic<uint64_t> duration;
    std::atomic<uint64_t> position;
    std::atomic<bool> running;
    std::atomic<int64_t> startedAt; // steady clock, ns
};
