// Test-only view into an InternalPlayer (a friend of the engine): what it has
// made over its life and which mode objects it keeps.
#pragma once

#include "player/InternalPlayer.h"

class InternalPlayerInspector {
public:
    static uint64_t framesMade(const InternalPlayer &p) { return p.framesMade; }
    static uint64_t audioBuffersMade(const InternalPlayer &p) { return p.audioBuffersMade; }
    static uint64_t modesMade(const InternalPlayer &p) { return p.modesMade; }
    static size_t modeEntries(const InternalPlayer &p) { return p.modes.size(); }
    static AbstractMode *modeObject(const InternalPlayer &p, int m)
    {
        auto found = p.modes.find(m);
        return found == p.modes.end() ? nullptr : found->second;
    }
    static uint32_t idleFrames(const InternalPlayer &p) { return p.videoFreePool.size(); }
    static PlaybackClock &clock(InternalPlayer &p) { return p.clock; }
    // Runs the end-of-media handling now, as if the ticker's queued call had
    // just arrived: lets a test put it after any command it likes.
    static void runEndHandling(InternalPlayer &p) { p.finishPlayback(); }
};
