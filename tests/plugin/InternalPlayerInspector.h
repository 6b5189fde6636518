// Test-only view into an InternalPlayer (a friend of the engine): its clock,
// its picture frames, its late-picture count, and its end-of-media handling
// run when the test chooses.
#pragma once

#include "player/InternalPlayer.h"
#include "player/MovieDecoder.h"

class InternalPlayerInspector {
public:
    static PlaybackClock &clock(InternalPlayer &p) { return p.clock; }
    static uint32_t pictureFrames(InternalPlayer &p) { return p.videoFreePool.capacity(); }
    // Pictures the open file's decoder dropped for being late (the playback bench).
    static uint64_t droppedPictures(InternalPlayer &p)
    {
        return p.movieDecoder ? p.movieDecoder->droppedPictureCount() : 0;
    }
    // Runs the end-of-media handling now, as if the ticker's queued call had
    // just arrived: lets a test put it after any command it likes.
    static void runEndHandling(InternalPlayer &p) { p.finishPlayback(); }
};
