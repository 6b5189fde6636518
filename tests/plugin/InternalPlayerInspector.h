// Test-only view into an InternalPlayer (a friend of the engine): its clock,
// its picture frames, and its end-of-media handling run when the test chooses.
#pragma once

#include "player/InternalPlayer.h"

class InternalPlayerInspector {
public:
    static PlaybackClock &clock(InternalPlayer &p) { return p.clock; }
    static uint32_t pictureFrames(InternalPlayer &p) { return p.videoFreePool.capacity(); }
    // Runs the end-of-media handling now, as if the ticker's queued call had
    // just arrived: lets a test put it after any command it likes.
    static void runEndHandling(InternalPlayer &p) { p.finishPlayback(); }
};
