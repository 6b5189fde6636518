// Shared pieces of the player tests: a diagnostic logger that captures the
// engine's messages, a converted-frame stand-in that records what it was
// given, and the engine's pools and queues as the decoders see them.
#pragma once

#include "frames/AbstractVideoFrame.h"
#include "player/AudioBuffer.h"
#include "player/AudioOutputFormat.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"
#include "support/Logger.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Installs itself as the process-wide diagnostic logger for its lifetime.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string text();
    int count(const std::string &needle);

private:
    LogFileRecord record;
    Logger logger;
    Logger *previous;
};

// Records the timestamp and source format it is filled with; no pixels.
class RecordingFrame : public AbstractVideoFrame {
public:
    RecordingFrame(int width, int height) : AbstractVideoFrame(width, height) {}
    void updateTexture() override { lastShown = timestamp; }
    void fill(const AVFrame *frame, AVPixelFormat srcFormat, int64_t timestampMs) override
    {
        timestamp = timestampMs;
        sourceFormat = srcFormat;
        sourceWidth = frame->width;
    }
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
    int sourceWidth = 0;
    static int64_t lastShown; // written by updateTexture, on the test thread
};

constexpr AudioOutputFormat EngineFormat{3, 3, 44100, 4};

// The engine's four containers with their 40 frames and 120 audio buffers.
// Frames own textures: build and destroy it with a GL context current.
struct EngineQueues {
    EngineQueues(int width, int height);
    FreePool<AbstractVideoFrame> videoFreePool;
    ReadyQueue<AbstractVideoFrame> videoReadyQueue;
    FreePool<AudioBuffer> audioFreePool;
    ReadyQueue<AudioBuffer> audioReadyQueue;
};

// Polls pred every millisecond until it holds or timeoutMs pass.
bool waitFor(const std::function<bool()> &pred, int timeoutMs = 10000);

// Timestamps of what a ready queue holds, front first; the queue is unchanged.
std::vector<int64_t> queuedTimestamps(ReadyQueue<AbstractVideoFrame> &queue);
std::vector<int64_t> queuedTimestamps(ReadyQueue<AudioBuffer> &queue);
