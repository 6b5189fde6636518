#include "audio/QtAudioPlayerDevice.h"

#include <algorithm>
#include <cstring>

QtAudioPlayerDevice::QtAudioPlayerDevice(ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool)
    : QIODevice(nullptr), readyQueue(readyQueue), freePool(freePool)
{
}

QtAudioPlayerDevice::~QtAudioPlayerDevice()
{
    giveBackCurrent();
    remaining = 0;
}

void QtAudioPlayerDevice::clear()
{
    giveBackCurrent();
    remaining = 0;
}

void QtAudioPlayerDevice::giveBackCurrent()
{
    // A full pool leaves current set; remaining is reset by the callers, so
    // such a buffer would be played again from its beginning.
    if (current)
        freePool->giveBack(current);
}

qint64 QtAudioPlayerDevice::readData(char *data, qint64 maxSize)
{
    if (maxSize <= 0)
        return 0;
    int32_t written = 0;
    while (written < maxSize) {
        if (!current) {
            current = readyQueue->take();
            if (!current)
                break;
        }
        if (remaining <= 0)
            remaining = static_cast<int32_t>(current->size);

        const int32_t n = static_cast<int32_t>(std::min<qint64>(maxSize - written, remaining));
        if (n > 0)
            std::memcpy(data + written, current->data + (current->size - remaining), n);
        written += n;
        remaining -= n;

        // A full pool keeps the buffer with us; it is served again from its
        // beginning by the next read rather than spun on here (a zero-size
        // buffer would never advance).
        if (remaining == 0 && !freePool->giveBack(current))
            break;
    }

    if (written > 0)
        return written;
    std::memset(data, 0, static_cast<size_t>(maxSize));
    return maxSize;
}

qint64 QtAudioPlayerDevice::writeData(const char *, qint64)
{
    return 0;
}
