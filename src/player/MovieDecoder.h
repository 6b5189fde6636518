// The demux thread of one loaded file (see the .cpp for the pass structure).
#pragma once

#include "player/AudioBuffer.h"
#include "player/AudioOutputFormat.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <cstdint>
#include <functional>

class AbstractVideoFrame;
class FrameSlot;
class MovieFile;
class PlaybackClock;

class MovieDecoder {
public:
    MovieDecoder(MovieFile *movieFile, FreePool<AudioBuffer> *audioFreePool,
                 ReadyQueue<AudioBuffer> *audioReadyQueue, AudioOutputFormat format,
                 FreePool<AbstractVideoFrame> *videoFreePool,
                 ReadyQueue<AbstractVideoFrame> *videoReadyQueue, FrameSlot *frameSlot,
                 PlaybackClock *clock);
    ~MovieDecoder(); // stops and joins the demux thread

    void setRendering(bool on);
    void seek(uint64_t positionMs, std::function<void()> done);

    // Rates of the packet decoders' counters; 0 for a file without sound.
    int64_t videoDecodeRate() const;
    int64_t audioDecodeRate() const;
    bool hasAudioDecoder() const;

    // ... implementation-defined private members
};
