// Shared pieces of the player and CUDA tests: a diagnostic logger that
// captures the engine's messages, a frame that records what it was given, and
// the engine's pools and queues with 40 frames and 120 buffers.
#pragma once

#include "frames/AbstractVideoFrame.h"
#include "player/AudioBuffer.h"
#include "player/AudioOutputFormat.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"
#include "support/Logger.h"

#include <string>
#include <vector>

// The process-wide diagnostic logger for its lifetime, writing to a temp file.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    int count(const std::string &needle);

private:
    LogFileRecord record;
    Logger logger;
    Logger *previous;
};

// Keeps the timestamp it is filled with; updateTexture reports it in lastShown.
class RecordingFrame : public AbstractVideoFrame {
public:
    RecordingFrame(int width, int height) : AbstractVideoFrame(width, height) {}
    void updateTexture(FrameTexture &) override { lastShown = timestamp; }
    void fill(const AVFrame *, AVPixelFormat, int64_t timestampMs) override { beginPicture(timestampMs); }
    static int64_t lastShown;
};

constexpr AudioOutputFormat EngineFormat{3, 3, 44100, 4};

struct EngineQueues {
    EngineQueues(int width, int height);
    FreePool<AbstractVideoFrame> videoFreePool;
    ReadyQueue<AbstractVideoFrame> videoReadyQueue;
    FreePool<AudioBuffer> audioFreePool;
    ReadyQueue<AudioBuffer> audioReadyQueue;
};

// Timestamps of what a ready queue holds, front first; the queue is unchanged.
std::vector<int64_t> queuedTimestamps(ReadyQueue<AbstractVideoFrame> &queue);
std::vector<int64_t> queuedTimestamps(ReadyQueue<AudioBuffer> &queue);
