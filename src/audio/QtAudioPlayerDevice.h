// The QIODevice QAudioOutput pulls sound from: hands out the bytes of the
// audio ReadyQueue's buffers and gives each finished buffer back to the
// FreePool. readData runs on the output's thread; owns neither queue.
#pragma once

#include "player/AudioBuffer.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <QIODevice>

#include <cstdint>

class QtAudioPlayerDevice : public QIODevice {
public:
    QtAudioPlayerDevice(ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool);
    ~QtAudioPlayerDevice() override;

    // Gives the buffer in play back and forgets how far it was played. Only
    // while the output does not pull.
    void clear();

protected:
    // Serves maxSize bytes from as many queued buffers as it takes, a short
    // read when the queue runs dry midway, and a full block of silence when no
    // sound is ready at all, so that the output keeps running.
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void giveBackCurrent();

    // Both belong to the thread that reads (flush and stop reset the output first).
    AudioBuffer *current = nullptr;
    int32_t remaining = 0; // <= 0: current is handed out from its beginning
    ReadyQueue<AudioBuffer> *readyQueue;
    FreePool<AudioBuffer> *freePool;
};
