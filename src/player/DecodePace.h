// How many pictures the video decoder skips so that it keeps up with the
// clock: none, those no other picture refers to, or all but the key frames.
//
// The demux thread reports the time it spends decoding against the media time
// that covers; their ratio, over the last second or two of media at the
// present level, is the load (above 1 the decoder is slower than real time).
// While the clock runs, a load above 1 steps up one level and a load above 2
// goes straight to key frames only (skipping the pictures nothing refers to
// at most halves the work); a picture dropped more than 1 s late asks for at
// least NonRef, one more than 3 s late for KeysOnly. Steps down go one level
// at a time, only once no picture has been late for a while and the load
// leaves room for twice the work. A step up that undoes a step down doubles
// that while, so a decoder that keeps up only by skipping settles there
// instead of swinging between levels.
//
// Demux thread only. Times are msTicks().
#pragma once

#include <cstdint>

class DecodePace {
public:
    enum Level { All, NonRef, KeysOnly };

    static constexpr int64_t SkipBehindMs = 1000;
    static constexpr int64_t SkipToKeysBehindMs = 3000;
    static constexpr uint64_t FirstStepDownWaitMs = 3000;
    static constexpr uint64_t LongestStepDownWaitMs = 24000;

    // busyMs spent decoding a packet that covers mediaMs of the picture
    // stream (0 for sound), at the present level.
    void addWork(double busyMs, int64_t mediaMs);
    // A picture was dropped lateMs late.
    void pictureLate(int64_t lateMs, uint64_t nowMs);
    // Decides the level from what was reported; it changes only while the
    // clock runs. True when it changed.
    bool update(bool running, uint64_t nowMs);

    Level level() const { return current; }
    // Decoding time over media time at this level; -1 until 300 ms of
    // decoding or 500 ms of media have been measured there.
    double load() const;

private:
    void step(Level to, uint64_t nowMs);

    Level current = All;
    // Decaying sums of the work at this level; the plain totals tell when
    // enough has been seen. All start again at each change of level.
    double busySum = 0, mediaSum = 0;
    double busyTotal = 0, mediaTotal = 0;
    int64_t worstLateMs = 0;  // since the last update
    uint64_t lastLateMs = 0;  // when a picture was last late
    uint64_t lastStepMs = 0;
    bool lastStepDown = false;
    uint64_t waitMs = FirstStepDownWaitMs;
};
