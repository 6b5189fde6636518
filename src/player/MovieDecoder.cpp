// Design note. One MovieDecoder per loaded file runs the "demux" thread:
//
//   av_read_frame -> VideoPacketDecoder -> videoReadyQueue -> pushForRendering -> FrameSlot
//                 -> AudioPacketDecoder -> audioReadyQueue -> audio device
//
// Each pass lasts at least 5 ms and reads at most one packet, and only while
// the emptier ready queue holds fewer than 15 objects (canRead). Frames and
// buffers come from the engine's pools and always go back there: the thread
// holds at most one of each between steps and returns them when it stops,
// seeks or reaches the end of input. Seeks are requested from any thread and
// carried out here, between passes; their completion runs on this thread with
// no decoder lock held. At the end of input the thread sleeps on wakeUp until
// a seek or the destructor arrives.
#include "player/MovieDecoder.h"

#include "frames/AbstractVideoFrame.h"
#include "player/FrameSlot.h"
#include "player/MovieFile.h"
#include "player/PlaybackClock.h"
#include "support/FpsCounter.h"
#include "support/HighResTimer.h"

#include <QDebug>

#include <algorithm>
#include <pthread.h>

namespace {

constexpr uint32_t QueueThreshold = 15;
constexpr uint64_t PassMs = 5;

// One counter for the whole process, created on first use.
FpsCounter &renderCounter()
{
    static FpsCounter counter("pushForRendering");
    return counter;
}

} // namespace

MovieDecoder::MovieDecoder(MovieFile *movieFile, FreePool<AudioBuffer> *audioFreePool,
                           ReadyQueue<AudioBuffer> *audioReadyQueue, AudioOutputFormat format,
                           FreePool<AbstractVideoFrame> *videoFreePool,
                           ReadyQueue<AbstractVideoFrame> *videoReadyQueue, FrameSlot *frameSlot,
                           PlaybackClock *clock)
    : movieFile(movieFile), audioFreePool(audioFreePool), audioReadyQueue(audioReadyQueue),
      videoFreePool(videoFreePool), videoReadyQueue(videoReadyQueue), frameSlot(frameSlot),
      videoDecoder(movieFile->videoCodecContext, movieFile->videoTimeBase, videoFreePool), clock(clock),
      packet(av_packet_alloc())
{
    if (movieFile->hasAudio) {
        audioDecoder = std::make_unique<AudioPacketDecoder>(movieFile->audioCodecContext, movieFile->audioTimeBase,
                                                            audioFreePool, format);
    }
    thread = std::thread(&MovieDecoder::run, this);
}

MovieDecoder::~MovieDecoder()
{
    {
        std::lock_guard<std::mutex> guard(controlMutex);
        stopRequested = true;
    }
    wakeUp.notify_all();
    thread.join();
    audioDecoder.reset();
}

void MovieDecoder::setRendering(bool on)
{
    std::lock_guard<std::mutex> guard(renderMutex);
    rendering = on;
}

void MovieDecoder::seek(uint64_t positionMs, std::function<void()> done)
{
    {
        std::lock_guard<std::mutex> guard(controlMutex);
        seekDone = std::move(done);
        seekTargetUs = positionMs * 1000;
        seekRequested = true;
    }
    wakeUp.notify_all();
}

int64_t MovieDecoder::videoDecodeRate() const
{
    return videoDecoder.counter().rate();
}

int64_t MovieDecoder::audioDecodeRate() const
{
    return audioDecoder ? audioDecoder->counter().rate() : 0;
}

bool MovieDecoder::hasAudioDecoder() const
{
    return audioDecoder != nullptr;
}

void MovieDecoder::run()
{
    pthread_setname_np(pthread_self(), "demux");
    HighResTimer passTimer;
    AVFormatContext *input = movieFile->formatContext;

    while (!stopRequested) {
        passTimer.restart();
        if (seekRequested)
            carryOutSeek();

        if (canRead()) {
            if (av_read_frame(input, packet.get()) < 0) {
                // Any read error counts as the end of input.
                returnHeld();
                std::unique_lock<std::mutex> lock(controlMutex);
                atEnd = true;
                wakeUp.wait(lock, [this] { return seekRequested.load() || stopRequested.load(); });
                atEnd = false;
                continue;
            }
            if (packet->stream_index == movieFile->videoStreamIndex)
                holdVideo(videoDecoder.decode(packet.get()));
            else if (audioDecoder && packet->stream_index == movieFile->audioStreamIndex)
                holdAudio(audioDecoder->decode(packet.get()));
            av_packet_unref(packet.get());
        }

        // A ready queue is as large as its pool, so these pushes succeed; an
        // object the queue refused would simply stay held for the next pass.
        if (heldVideo && videoReadyQueue->push(heldVideo)) {
            heldVideo = nullptr;
            heldVideoFlag = false;
        }
        if (heldAudio && audioReadyQueue->push(heldAudio)) {
            heldAudio = nullptr;
            heldAudioFlag = false;
        }

        pushForRendering();
        passTimer.sleepUntil(PassMs);
    }
    returnHeld();
}

bool MovieDecoder::canRead() const
{
    if (videoFreePool->isEmpty())
        return false;
    if (audioDecoder && audioFreePool->isEmpty())
        return false;
    // A small frame pool (large pictures) never queues QueueThreshold frames:
    // the threshold follows what the pool can hold, less the frame on screen.
    const uint32_t frames = videoFreePool->capacity();
    const uint32_t threshold = std::min(QueueThreshold, frames > 1 ? frames - 1 : 1u);
    const uint32_t videoCount = videoReadyQueue->size();
    if (!audioDecoder)
        return videoCount < threshold;
    return std::min(videoCount, audioReadyQueue->size()) < threshold;
}

void MovieDecoder::pushForRendering()
{
    std::lock_guard<std::mutex> guard(renderMutex);
    if (!rendering || videoReadyQueue->onHold())
        return;
    const AbstractVideoFrame *front = videoReadyQueue->front();
    if (!front)
        return;
    const int64_t now = static_cast<int64_t>(clock->currentPosition());
    if (front->getTimestamp() - now > 0)
        return;

    AbstractVideoFrame *frame = videoReadyQueue->take();
    // The queue went on hold (or was flushed) since the look: the slot keeps
    // the picture on screen rather than going blank.
    if (!frame)
        return;
    AbstractVideoFrame *old = frameSlot->exchange(frame);
    if (old && !videoFreePool->giveBack(old)) {
        // Not deleted: its texture can only be freed on the widget's thread.
        qDebug().noquote() << "MovieDecoder: Frame drop";
    }
    if (renderCounter().tick())
        renderCounter().print();
}

void MovieDecoder::carryOutSeek()
{
    uint64_t targetUs;
    std::function<void()> done;
    {
        std::lock_guard<std::mutex> guard(controlMutex);
        seekRequested = false;
        targetUs = seekTargetUs;
        done = seekDone; // kept stored until the next seek replaces it
    }

    if (audioDecoder)
        flushReady(*audioReadyQueue, *audioFreePool);
    flushReady(*videoReadyQueue, *videoFreePool);
    returnHeld();

    // A failed seek is not reported: the walk below starts from wherever the
    // demuxer stands.
    av_seek_frame(movieFile->formatContext, -1, static_cast<int64_t>(targetUs), AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(movieFile->videoCodecContext);
    if (audioDecoder) {
        avcodec_flush_buffers(movieFile->audioCodecContext);
        audioDecoder->resetResampler();
    }

    decodeToTarget(targetUs);
    cacheFrames();

    if (done)
        done();
}

void MovieDecoder::decodeToTarget(uint64_t targetUs)
{
    const int64_t targetMs = static_cast<int64_t>(targetUs / 1000);
    HighResTimer total;
    HighResTimer step;
    uint64_t readUs = 0;
    uint64_t videoUs = 0;
    uint64_t audioUs = 0;
    AbstractVideoFrame *prevVideo = nullptr;
    AbstractVideoFrame *curVideo = nullptr;
    AudioBuffer *prevAudio = nullptr;
    AudioBuffer *curAudio = nullptr;
    AVFormatContext *input = movieFile->formatContext;

    for (;;) {
        step.restart();
        const int rc = av_read_frame(input, packet.get());
        readUs += step.elapsedUs();
        if (rc < 0)
            break;

        bool reached = false;
        if (packet->stream_index == movieFile->videoStreamIndex) {
            step.restart();
            AbstractVideoFrame *frame = videoDecoder.decode(packet.get());
            videoUs += step.elapsedUs();
            if (frame) {
                qDebug().noquote().nospace()
                    << "VideoFrame: " << frame->getTimestamp() << " target: " << targetMs;
                if (frame->getTimestamp() >= targetMs) {
                    curVideo = frame;
                    reached = true;
                } else {
                    giveBack(prevVideo);
                    prevVideo = frame;
                }
            }
        } else if (audioDecoder && packet->stream_index == movieFile->audioStreamIndex) {
            step.restart();
            AudioBuffer *buffer = audioDecoder->decode(packet.get());
            audioUs += step.elapsedUs();
            if (buffer) {
                if (buffer->ptsMs >= targetMs) {
                    curAudio = buffer;
                    reached = true;
                } else {
                    giveBack(prevAudio);
                    prevAudio = buffer;
                }
            }
        }
        av_packet_unref(packet.get());
        if (reached)
            break;
    }

    // The queues were flushed before the walk, so these pushes have room.
    for (AudioBuffer *buffer : {prevAudio, curAudio}) {
        if (buffer && !audioReadyQueue->push(buffer))
            giveBack(buffer);
    }
    for (AbstractVideoFrame *frame : {prevVideo, curVideo}) {
        if (frame && !videoReadyQueue->push(frame))
            giveBack(frame);
    }

    qDebug().noquote().nospace() << "Total " << total.elapsedMs() << " P=" << readUs / 1000
                                 << " V=" << videoUs / 1000 << " A=" << audioUs / 1000;
}

void MovieDecoder::cacheFrames()
{
    qDebug().noquote() << "Cache Frame";
    AVFormatContext *input = movieFile->formatContext;
    while (canRead()) {
        if (av_read_frame(input, packet.get()) < 0)
            break;
        if (packet->stream_index == movieFile->videoStreamIndex) {
            AbstractVideoFrame *frame = videoDecoder.decode(packet.get());
            if (frame && !videoReadyQueue->push(frame))
                giveBack(frame);
        } else if (audioDecoder && packet->stream_index == movieFile->audioStreamIndex) {
            AudioBuffer *buffer = audioDecoder->decode(packet.get());
            if (buffer && !audioReadyQueue->push(buffer))
                giveBack(buffer);
        }
        av_packet_unref(packet.get());
    }
    qDebug().noquote().nospace() << "AFTER CACHE" << " ct: " << clock->currentPosition()
                                 << ", video count: " << videoReadyQueue->size()
                                 << ", audio count: " << (audioDecoder ? audioReadyQueue->size() : 0u);
}

void MovieDecoder::holdVideo(AbstractVideoFrame *frame)
{
    if (frame) {
        giveBack(heldVideo); // only when a queue refused the previous one; the newer picture wins
        heldVideo = frame;
    }
    heldVideoFlag = heldVideo != nullptr;
}

void MovieDecoder::holdAudio(AudioBuffer *buffer)
{
    if (buffer) {
        giveBack(heldAudio);
        heldAudio = buffer;
    }
    heldAudioFlag = heldAudio != nullptr;
}

void MovieDecoder::returnHeld()
{
    giveBack(heldVideo);
    giveBack(heldAudio);
    heldVideoFlag = false;
    heldAudioFlag = false;
}

void MovieDecoder::giveBack(AbstractVideoFrame *&frame)
{
    if (frame && !videoFreePool->giveBack(frame))
        qDebug().noquote() << "MovieDecoder: Frame drop";
    frame = nullptr;
}

void MovieDecoder::giveBack(AudioBuffer *&buffer)
{
    if (buffer && !audioFreePool->giveBack(buffer))
        delete buffer; // plain memory, unlike a frame; cannot happen with a consistent pool
    buffer = nullptr;
}
