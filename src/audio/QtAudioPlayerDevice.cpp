#include "audio/QtAudioPlayerDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

QtAudioPlayerDevice::QtAudioPlayerDevice(ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool,
                                         int frameBytes, int rate)
    : QIODevice(nullptr), readyQueue(readyQueue), freePool(freePool), frameBytes(frameBytes),
      bytesPerMs(double(rate) * frameBytes / 1000.0)
{
}

QtAudioPlayerDevice::~QtAudioPlayerDevice()
{
    giveBackCurrent();
}

void QtAudioPlayerDevice::clear()
{
    giveBackCurrent();
    beginAt(startMs);
}

void QtAudioPlayerDevice::beginAt(double ms)
{
    startMs = ms;
    served = 0;
    silenceBytes = 0;
    placeExactly = true;
    started = false;
    emptyReads = 0;
}

double QtAudioPlayerDevice::msAt(int64_t bytes) const
{
    return startMs + double(bytes) / bytesPerMs;
}

double QtAudioPlayerDevice::nextMs() const
{
    return msAt(served);
}

void QtAudioPlayerDevice::giveBackCurrent()
{
    // A full pool cannot happen with the engine's counts; the buffer is freed
    // rather than played again.
    if (current && !freePool->giveBack(current))
        delete current;
    current = nullptr;
    remaining = 0;
}

bool QtAudioPlayerDevice::takeNext(int64_t servedBytes)
{
    current = readyQueue->take();
    if (!current)
        return false;
    remaining = current->size - current->size % frameBytes;
    const double lead = double(current->ptsMs) - msAt(servedBytes);
    // The first buffer of a timeline, and the first after silence that stood
    // in for a dry queue, is placed exactly; later ones only when they are
    // clearly off, since their stamps are rounded to the ms. Sound that comes
    // late after a dry spell is never played late: that would hold it behind
    // the timeline, and so behind the clock, for the rest of the play.
    if (!std::exchange(placeExactly, false) && std::fabs(lead) <= toleranceMs)
        return true;
    const int64_t leadBytes = int64_t(std::llround(std::fabs(lead) * bytesPerMs / frameBytes)) * frameBytes;
    if (lead > 0)
        silenceBytes = leadBytes;
    else if ((remaining = std::max<int64_t>(0, remaining - leadBytes)) == 0)
        placeExactly = true; // all of it was past: the one after it lines up exactly in its place
    return true;
}

bool QtAudioPlayerDevice::queuedUntil(double ms) const
{
    // Under the queue's lock: a flush from the demux thread may take the
    // buffer back to its pool and refill it meanwhile.
    std::lock_guard<std::recursive_mutex> guard(readyQueue->mutex());
    const AudioBuffer *last = readyQueue->back();
    return last && double(last->ptsMs) + double(last->size) / bytesPerMs >= ms;
}

qint64 QtAudioPlayerDevice::readData(char *data, qint64 maxSize)
{
    maxSize -= maxSize % frameBytes;
    if (maxSize <= 0)
        return 0;
    // The start serves nothing while its first buffer may still come, and
    // then its first read in full or waits: a buffer or two played and then
    // silence would cut the sound that follows them late.
    if (!started && !current && emptyReads + 1 < startWaitReads && !readyQueue->onHold() &&
        !queuedUntil(msAt(served + maxSize))) {
        ++emptyReads;
        return 0;
    }
    qint64 written = 0;
    while (written < maxSize) {
        if (!current && silenceBytes == 0) {
            if (!takeNext(served + written))
                break;
        }
        if (silenceBytes > 0) {
            const qint64 n = std::min<qint64>(maxSize - written, silenceBytes);
            std::memset(data + written, 0, size_t(n));
            written += n;
            silenceBytes -= n;
            continue;
        }
        const qint64 n = std::min<qint64>(maxSize - written, remaining);
        if (n > 0)
            std::memcpy(data + written, current->data + (current->size - current->size % frameBytes - remaining),
                        size_t(n));
        written += n;
        remaining -= n;
        if (remaining == 0)
            giveBackCurrent();
    }

    if (written == 0) {
        // A held queue (a pause or a seek on its way) serves nothing: the
        // output is about to stop, and silence written now would count as
        // media time. Otherwise silence keeps the output (and the timeline)
        // running through a dry queue, or a start that waited long enough.
        if (readyQueue->onHold())
            return 0;
        std::memset(data, 0, size_t(maxSize));
        written = maxSize;
        placeExactly = true;
    }
    started = true;
    served += written;
    return written;
}

qint64 QtAudioPlayerDevice::writeData(const char *, qint64)
{
    return 0;
}
