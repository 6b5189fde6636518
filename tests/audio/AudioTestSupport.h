// Audio buffers of a sine tone fed into the player's queues the way the engine's
// decoder does it, and an event-loop pump for the tests' main thread.
#pragma once

#include "player/AudioBuffer.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <cstdint>
#include <functional>

constexpr uint32_t kBufferCount = 120;
constexpr uint32_t kFramesPerBuffer = 1024;
constexpr uint32_t kBytesPerFrame = 2 * sizeof(float);

// The engine's pair of queues with its 120 idle buffers.
struct AudioQueues {
    AudioQueues();
    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
};

// Fills idle buffers with a continuous stereo sine and queues them.
class ToneFeeder {
public:
    explicit ToneFeeder(AudioQueues &queues) : queues(queues) {}

    double hz = 440.0;
    double amplitude = 0.5;
    uint32_t keepQueued = 20; // buffers kept waiting in the ready queue
    bool enabled = true;

    // Tops the ready queue up to keepQueued buffers, as far as the pool allows.
    void feed();

private:
    AudioQueues &queues;
    double phase = 0.0;
};

// Runs the calling thread's event loop for ms milliseconds, calling tick every 5 ms.
void pumpEvents(int ms, const std::function<void()> &tick = {});
