// Test-only view into an InternalPlayer (a friend of the engine).
#pragma once

#include "player/InternalPlayer.h"
#include "player/MovieDecoder.h"

class InternalPlayerInspector {
public:
    static PlaybackClock &clock(InternalPlayer &p) { return p.clock; }
    static uint32_t pictureFrames(InternalPlayer &p) { return p.videoFreePool.capacity(); }
    // Pictures dropped for being late (the playback bench).
    static uint64_t droppedPictures(InternalPlayer &p)
    {
        return p.movieDecoder ? p.movieDecoder->droppedPictureCount() : 0;
    }
    // The end-of-media handling, as if the ticker's queued call arrived now.
    static void runEndHandling(InternalPlayer &p) { p.finishPlayback(); }
};
