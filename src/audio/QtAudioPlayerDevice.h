// The QIODevice QAudioOutput pulls sound from: hands out the bytes of the
// audio ReadyQueue's buffers, each placed on the output's timeline by its time
// stamp, and gives each finished buffer back to the FreePool.
//
// The timeline: beginAt(ms) says which media time the first byte served
// stands for; from there every byte served is the next 1/(rate x frame size)
// of media time. A buffer stamped later than the timeline has reached is
// preceded by silence (sound that starts late, a gap in the track); one
// stamped earlier loses its part that is already past (the sound before a
// seek's target, sound that came late after the queue ran dry). The start
// waits for the first buffer, up to a limit, so that the first sound served is
// the file's first sample, not silence in front of it, and until the queue
// holds sound for the whole first read, so that a decoder still starting up
// does not make the start run dry.
//
// Threads: everything runs on the output's thread; owns neither queue.
#pragma once

#include "player/AudioBuffer.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <QIODevice>

#include <cstdint>

class QtAudioPlayerDevice : public QIODevice {
public:
    // frameBytes: bytes of one sample of every channel; rate: samples a second.
    QtAudioPlayerDevice(ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool, int frameBytes = 8,
                        int rate = 44100);
    ~QtAudioPlayerDevice() override;

    // Gives the buffer in play back and forgets how far it was played. Only
    // while the output does not pull.
    void clear();
    // Starts a new timeline at media time ms (after clear()).
    void beginAt(double ms);
    // Media time the next byte served stands for.
    double nextMs() const;
    // Media time of byte `bytes` of what was served since beginAt.
    double msAt(int64_t bytes) const;
    int64_t servedBytes() const { return served; }
    // A stream: it has no size, and reading goes on as long as the output runs.
    bool isSequential() const override { return true; }

    // A timeline within this of a buffer's stamp plays it as it is (stamps
    // are whole ms; continuous sound must not be cut or padded), except
    // right after a dry queue, where the timeline ran on in silence.
    static constexpr double toleranceMs = 30.0;
    // How many reads the start waits for its first read's worth of sound before
    // it serves what there is, silence if nothing.
    static constexpr int startWaitReads = 15;

protected:
    // Serves maxSize bytes from as many queued buffers as it takes, a short
    // read when the queue runs dry midway, and a full block of silence when no
    // sound is ready at all, so that the output keeps running; nothing while
    // the queue is on hold or the start still waits for its first buffer.
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void giveBackCurrent();
    // Whether the queued sound reaches media time ms (the end of its last buffer).
    bool queuedUntil(double ms) const;
    // Takes the next buffer and lines it up with the timeline, which has
    // reached servedBytes.
    bool takeNext(int64_t servedBytes);

    // All of these belong to the thread that reads.
    AudioBuffer *current = nullptr;
    int64_t remaining = 0;     // bytes of current still to serve
    int64_t silenceBytes = 0;  // silence to serve before current
    double startMs = 0;        // media time of the first byte served
    int64_t served = 0;        // bytes served since beginAt
    bool placeExactly = true;  // the next buffer goes exactly at its stamp
    bool started = false;      // something was served since beginAt
    int emptyReads = 0;        // reads that found nothing before the start
    ReadyQueue<AudioBuffer> *readyQueue;
    FreePool<AudioBuffer> *freePool;
    const int frameBytes;
    const double bytesPerMs;
};
