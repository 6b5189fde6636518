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
// a seek or the destructor arrives. At the end of input both packet decoders
// are drained first (the pictures and sound they still hold come out), and
// the remaining pictures are shown at their times before the thread sleeps.
#include "player/MovieDecoder.h"

#include "frames/AbstractVideoFrame.h"
#include "player/FrameSlot.h"
#include "player/MovieFile.h"
#include "player/PlaybackClock.h"
#include "support/FpsCounter.h"
#include "support/HighResTimer.h"
#include "support/LogCategories.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace {

constexpr uint32_t QueueThreshold = 15;
constexpr uint64_t PassMs = 5;
// Sound is read this many buffers ahead (about 1.5 s of AAC) even while the
// pictures queued fill their pool, so that decoding a large picture never
// leaves the output without sound. The video packets read on the way wait,
// up to these limits, for a free picture.
constexpr uint32_t SoundAheadBuffers = 64;
constexpr size_t MaxSetAsidePackets = 512;
constexpr int64_t MaxSetAsideBytes = 96 << 20;
// How long the audio queue may stand still at the end before the sound counts
// as played anyway (an audio device that takes nothing, or stopped playing).
constexpr uint64_t AudioStallMs = 2000;
// While the clock runs, a picture later than its frame period and this is
// dropped, unless the screen has not changed for LongestUnchangedMs: a
// picture the pace could not bring on time is better than a frozen one.
constexpr int64_t LateMarginMs = 20;
constexpr uint64_t LongestUnchangedMs = 1000;
// The length is lengthened only by media this far past it: stamps rounded
// past the announced end do not move it.
constexpr int64_t ExtendMarginMs = 100;

int64_t framePeriodOf(AVRational rate)
{
    return rate.num > 0 && rate.den > 0 ? std::max<int64_t>(1, int64_t(1000) * rate.den / rate.num) : 40;
}

AVDiscard discardOf(DecodePace::Level level)
{
    return level == DecodePace::KeysOnly ? AVDISCARD_NONKEY
           : level == DecodePace::NonRef ? AVDISCARD_NONREF
                                         : AVDISCARD_DEFAULT;
}

} // namespace

MovieDecoder::MovieDecoder(MovieFile *movieFile, FreePool<AudioBuffer> *audioFreePool,
                           ReadyQueue<AudioBuffer> *audioReadyQueue, AudioOutputFormat format,
                           FreePool<AbstractVideoFrame> *videoFreePool,
                           ReadyQueue<AbstractVideoFrame> *videoReadyQueue, FrameSlot *frameSlot,
                           PlaybackClock *clock)
    : movieFile(movieFile), audioFreePool(audioFreePool), audioReadyQueue(audioReadyQueue),
      videoFreePool(videoFreePool), videoReadyQueue(videoReadyQueue), frameSlot(frameSlot),
      videoDecoder(movieFile->videoCodecContext, movieFile->videoTimeBase, videoFreePool, movieFile->startUs,
                   movieFile->videoFrameRate, movieFile->sampleAspect,
                   movieFile->hasVideo ? movieFile->formatContext->streams[movieFile->videoStreamIndex] : nullptr),
      clock(clock), renderCounter("pushForRendering"),
      hasVideo(movieFile->hasVideo), framePeriodMs(framePeriodOf(movieFile->videoFrameRate)),
      joiner(movieFile->formatContext, {movieFile->videoStreamIndex, movieFile->audioStreamIndex}, movieFile->startUs),
      lengthMs(movieFile->durationMs()), packet(av_packet_alloc())
{
    if (movieFile->hasAudio) {
        audioDecoder = std::make_unique<AudioPacketDecoder>(movieFile->audioCodecContext, movieFile->audioTimeBase,
                                                            audioFreePool, format, movieFile->startUs);
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
    movieFile->abortIo(); // a read stalled on the network would hold up the join
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

    while (!stopRequested) {
        passTimer.restart();
        if (seekRequested)
            carryOutSeek();

        AbstractVideoFrame *frame;
        AudioBuffer *buffer;
        if ((!inputEnded || !setAside.empty()) && canRead()) {
            if (readPacket(frame, buffer)) {
                holdVideo(frame);
                holdAudio(buffer);
            }
        } else if (!inputEnded && wantsSound()) {
            holdAudio(readSoundAhead());
        } else if (inputEnded && !endOfMedia && canRead()) {
            drainStep();
        }

        // A ready queue is as large as its pool, so these pushes succeed; an
        // object the queue refused would simply stay held for the next pass.
        if (heldVideo && videoReadyQueue->push(heldVideo))
            heldVideo = nullptr;
        if (heldAudio && audioReadyQueue->push(heldAudio))
            heldAudio = nullptr;
        if (inputEnded && !endOfMedia && setAside.empty() && !heldVideo && !heldAudio &&
            (!hasVideo || videoDecoder.drained()) &&
            (!audioDecoder || audioDecoder->drained()))
            reachEnd();

        pushForRendering();

        // Every picture shown: nothing is left to do until a seek or the end.
        if (endOfMedia && videoReadyQueue->size() == 0) {
            std::unique_lock<std::mutex> lock(controlMutex);
            atEnd = true;
            wakeUp.wait(lock, [this] { return seekRequested.load() || stopRequested.load(); });
            atEnd = false;
            continue;
        }
        passTimer.sleepUntil(PassMs);
    }
    returnHeld();
}

// One picture, or else one buffer of sound, of what the decoders still hold.
void MovieDecoder::drainStep()
{
    if (hasVideo && !videoDecoder.drained())
        holdVideo(videoDecoder.drain());
    else if (audioDecoder && !audioDecoder->drained())
        holdAudio(audioDecoder->drain());
}

void MovieDecoder::reachEnd()
{
    lastPictureEndMs = videoDecoder.lastPictureEndMs();
    lastSoundEndMs = audioDecoder ? audioDecoder->endMs() : 0;
    {
        std::lock_guard<std::mutex> guard(endCheckMutex);
        audioLeftSeen = UINT32_MAX; // the first look starts the watch
        audioLeftSinceMs = msTicks();
    }
    endOfMedia = true;
}

bool MovieDecoder::playedOut(uint64_t clockMs) const
{
    if (!endOfMedia.load())
        return false;
    // A clock that stands at a known duration cannot go on, so pictures
    // stamped beyond it are never due: the end is reached there.
    const uint64_t durationMs = clock->duration();
    const bool atDuration = durationMs > 0 && clockMs >= durationMs;
    const int64_t lastEnd = lastPictureEndMs.load();
    if (!atDuration && (videoReadyQueue->size() != 0 || static_cast<int64_t>(clockMs) < lastEnd))
        return false;
    if (!audioDecoder)
        return true;

    // The clock follows the sound heard: once the device has taken all of it,
    // the sound is over when the clock reaches its end, however much of it
    // the device's own buffer held (a lossless file's last frame may be a
    // second long).
    const uint32_t audioLeft = audioReadyQueue->size();
    if (audioLeft == 0 && (atDuration || static_cast<int64_t>(clockMs) >= lastSoundEndMs.load()))
        return true;
    std::lock_guard<std::mutex> guard(endCheckMutex);
    if (audioLeft != audioLeftSeen) {
        audioLeftSeen = audioLeft;
        audioLeftSinceMs = msTicks();
        return false;
    }
    return msTicks() - audioLeftSinceMs >= AudioStallMs;
}

bool MovieDecoder::canRead() const
{
    // A file without a picture reads ahead by its sound alone.
    if (!hasVideo)
        return audioReadyQueue->size() < QueueThreshold && !audioFreePool->isEmpty();
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

bool MovieDecoder::wantsSound() const
{
    return audioDecoder && hasVideo && !heldAudio && audioReadyQueue->size() < SoundAheadBuffers &&
           !audioFreePool->isEmpty() && setAside.size() < MaxSetAsidePackets && setAsideBytes < MaxSetAsideBytes;
}

// Reads on to the next buffer of sound, setting the video packets on the way
// aside for readPacket; stops at the set-aside limits or the end of input.
AudioBuffer *MovieDecoder::readSoundAhead()
{
    while (wantsSound() && !stopRequested && !seekRequested) {
        if (!readInput())
            return nullptr;
        if (packet->stream_index == movieFile->videoStreamIndex) {
            AVPacketPtr later(av_packet_alloc());
            av_packet_move_ref(later.get(), packet.get());
            setAsideBytes += later->size;
            setAside.push_back(std::move(later));
            continue;
        }
        AudioBuffer *buffer = nullptr;
        if (packet->stream_index == movieFile->audioStreamIndex)
            buffer = decodePacket(packet.get(), nullptr);
        av_packet_unref(packet.get());
        if (buffer)
            return buffer;
    }
    return nullptr;
}

// Moves the newest due picture into the slot. Due pictures queued before it
// are dropped unseen, and while the clock runs so is one later than its frame
// period and LateMarginMs: a shown picture is never later than that. A
// standing clock (a seek while paused) shows the picture however late. What
// keeps the picture moving when decoding is slower than real time is the
// pace: the decoder skips pictures until those it decodes come on time.
void MovieDecoder::pushForRendering()
{
    std::lock_guard<std::mutex> guard(renderMutex);
    if (!rendering || videoReadyQueue->onHold())
        return;
    const int64_t now = static_cast<int64_t>(clock->currentPosition());
    const bool running = clock->isRunning();
    const uint64_t ticks = msTicks();
    AbstractVideoFrame *frame = nullptr;
    for (const AbstractVideoFrame *front = videoReadyQueue->front(); front && front->getTimestamp() <= now + pictureLeadMs;
         front = videoReadyQueue->front()) {
        AbstractVideoFrame *taken = videoReadyQueue->take();
        // The queue went on hold (or was flushed) since the look: the slot
        // keeps the picture on screen rather than going blank.
        if (!taken)
            break;
        if (frame)
            dropPicture(frame, now);
        frame = taken;
    }

    // A cover picture stands for the whole track: it is never late.
    if (frame && running && !movieFile->coverArt && now - frame->getTimestamp() > framePeriodMs + LateMarginMs) {
        pace.pictureLate(now - frame->getTimestamp(), ticks);
        if (ticks - lastShownTicks < LongestUnchangedMs)
            dropPicture(frame, now);
    }
    const double load = pace.load();
    if (hasVideo && pace.update(running, ticks)) {
        qCDebug(lcDemux, "Decoding load %.2f: skipping %s", load,
                pace.level() == DecodePace::KeysOnly ? "all but key frames"
                : pace.level() == DecodePace::NonRef ? "pictures nothing refers to"
                                                     : "nothing");
    }
    if (!frame)
        return;
    lastShownTicks = ticks;
    AbstractVideoFrame *old = frameSlot->exchange(frame);
    if (old && !videoFreePool->giveBack(old)) {
        // Frames hold plain memory: one the pool refuses is freed here.
        qCDebug(lcDemux).noquote() << "MovieDecoder: Frame drop";
        delete old;
    }
    if (renderCounter.tick())
        renderCounter.print(lcDemux());
}

void MovieDecoder::dropPicture(AbstractVideoFrame *&frame, int64_t nowMs)
{
    const uint64_t total = ++droppedPictures;
    qCDebug(lcDemux, "Picture dropped: %lld ms late (%llu so far)",
            static_cast<long long>(nowMs - frame->getTimestamp()), static_cast<unsigned long long>(total));
    giveBack(frame);
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
    setAside.clear();
    setAsideBytes = 0;

    inputEnded = false;
    endOfMedia = false;

    // Targets are on the file's timeline, which starts at startUs. A failed
    // seek is not reported: the walk below starts from wherever the demuxer
    // stands. A file that cannot seek by time (an elementary stream without
    // an index) can still go back to its start by position. A target past a
    // restart of the stamps met before lies where a time seek cannot tell
    // (the same stamps come twice): it is sought by position in that part.
    AVFormatContext *input = movieFile->formatContext;
    const int64_t streamTargetUs = movieFile->startUs + static_cast<int64_t>(targetUs);
    const int64_t fromByte = joiner.seekFrom(streamTargetUs, input->pb ? avio_size(input->pb) : -1);
    int rc = fromByte >= 0 ? av_seek_frame(input, -1, fromByte, AVSEEK_FLAG_BYTE) : -1;
    if (rc >= 0) {
        joiner.resumeAt(streamTargetUs);
    } else {
        joiner.reset();
        rc = av_seek_frame(input, -1, streamTargetUs, AVSEEK_FLAG_BACKWARD);
        if (rc >= 0 && hasVideo && !movieFile->coverArt)
            backToKeyPicture(streamTargetUs);
    }
    if (rc < 0 && targetUs == 0)
        rc = av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE);
    // A flushed decoder refers to no earlier picture: any level may follow.
    if (hasVideo) {
        avcodec_flush_buffers(movieFile->videoCodecContext);
        movieFile->videoCodecContext->skip_frame = AVDISCARD_DEFAULT;
    }
    // Pictures without time stamps continue from the target after a seek
    // that moved the demuxer, and from where they were after one that failed.
    videoDecoder.restart(rc >= 0 ? static_cast<int64_t>(targetUs) : videoDecoder.lastPictureEndMs() * 1000);
    if (audioDecoder) {
        avcodec_flush_buffers(movieFile->audioCodecContext);
        audioDecoder->resetResampler(static_cast<int64_t>(targetUs / 1000));
    }

    // Deleting the player stops the walk within a packet; the completion
    // still runs, so whoever waits for it is not left waiting. While paused
    // the walk decodes every picture, so the one shown is the target's; while
    // playing it skips as the pace does, and gets there sooner.
    exactWalk = !clock->isRunning();
    decodeToTarget(targetUs);
    exactWalk = false;
    if (!stopRequested && !seekRequested)
        cacheFrames();

    if (done)
        done();
}

// A demuxer without an index (MPEG-TS and -PS) seeks to wherever it finds the
// time, not to a key picture, and a decoder started there shows nothing until
// the next key picture, which in a long group of pictures comes seconds later
// or never. The walk then starts from further back, twice as far each time,
// until the first picture read is a key one: from the file's first byte once
// the start is reached (by time the demuxer may land past its first key
// picture as well), and from where the demuxer first went if no key picture
// is found within a minute (a stream refreshed without key pictures).
void MovieDecoder::backToKeyPicture(int64_t streamTargetUs)
{
    constexpr int64_t FurthestBackUs = 64 * 1000000LL;
    AVFormatContext *input = movieFile->formatContext;
    int64_t fromUs = streamTargetUs;
    for (int64_t backUs = 1000000; !firstPictureIsKey(); backUs *= 2) {
        fromUs = streamTargetUs - backUs;
        if (fromUs <= movieFile->startUs && av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE) >= 0)
            return;
        if (fromUs <= movieFile->startUs || backUs > FurthestBackUs ||
            av_seek_frame(input, -1, fromUs, AVSEEK_FLAG_BACKWARD) < 0) {
            fromUs = streamTargetUs;
            break;
        }
    }
    // The look read on from there: back to where the walk starts.
    av_seek_frame(input, -1, fromUs, AVSEEK_FLAG_BACKWARD);
}

// Reads on to the first video packet: whether it starts a key picture (true
// also when none comes within 256 packets: nothing to mend then).
bool MovieDecoder::firstPictureIsKey()
{
    AVPacketPtr look(av_packet_alloc());
    for (int n = 0; look && n < 256 && av_read_frame(movieFile->formatContext, look.get()) >= 0; ++n) {
        const bool video = look->stream_index == movieFile->videoStreamIndex;
        const bool key = look->flags & AV_PKT_FLAG_KEY;
        av_packet_unref(look.get());
        if (video)
            return key;
    }
    return true;
}

void MovieDecoder::decodeToTarget(uint64_t targetUs)
{
    const int64_t targetMs = static_cast<int64_t>(targetUs / 1000);
    HighResTimer total;
    AbstractVideoFrame *prevVideo = nullptr;
    AbstractVideoFrame *curVideo = nullptr;
    AudioBuffer *prevAudio = nullptr;
    AudioBuffer *curAudio = nullptr;
    AbstractVideoFrame *frame;
    AudioBuffer *buffer;

    // A newer seek (or a stop, which seeks to 0) ends this walk at once.
    while (!stopRequested && !seekRequested && readPacket(frame, buffer)) {
        if (frame) {
            qCDebug(lcDemux).noquote().nospace()
                << "VideoFrame: " << frame->getTimestamp() << " target: " << targetMs;
            if (frame->getTimestamp() >= targetMs) {
                curVideo = frame;
                break;
            }
            giveBack(prevVideo);
            prevVideo = frame;
        } else if (buffer) {
            if (buffer->ptsMs >= targetMs) {
                curAudio = buffer;
                break;
            }
            giveBack(prevAudio);
            prevAudio = buffer;
        }
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

    qCDebug(lcDemux).noquote().nospace() << "Total " << total.elapsedMs();
}

void MovieDecoder::cacheFrames()
{
    qCDebug(lcDemux).noquote() << "Cache Frame";
    AbstractVideoFrame *frame;
    AudioBuffer *buffer;
    while (!stopRequested && canRead() && readPacket(frame, buffer)) {
        if (frame && !videoReadyQueue->push(frame))
            giveBack(frame);
        if (buffer && !audioReadyQueue->push(buffer))
            giveBack(buffer);
    }
    qCDebug(lcDemux).noquote().nospace() << "AFTER CACHE" << " ct: " << clock->currentPosition()
                                 << ", video count: " << videoReadyQueue->size()
                                 << ", audio count: " << (audioDecoder ? audioReadyQueue->size() : 0u);
}

// The oldest video packet set aside, or else the next packet of the file.
bool MovieDecoder::readPacket(AbstractVideoFrame *&frame, AudioBuffer *&buffer)
{
    frame = nullptr;
    buffer = nullptr;
    if (!setAside.empty()) {
        const AVPacketPtr later = std::move(setAside.front());
        setAside.pop_front();
        setAsideBytes -= later->size;
        buffer = decodePacket(later.get(), &frame);
        return true;
    }
    if (!readInput())
        return false;
    buffer = decodePacket(packet.get(), &frame);
    av_packet_unref(packet.get());
    return true;
}

bool MovieDecoder::readInput()
{
    if (av_read_frame(movieFile->formatContext, packet.get()) < 0) {
        inputEnded = true;
        return false;
    }
    joiner.apply(packet.get());
    // Media that goes on past the length the file announced lengthens it, so
    // the clock can get there (an unknown length stays unknown).
    const int64_t endUs = joiner.latestEndUs();
    if (lengthMs > 0 && endUs != AV_NOPTS_VALUE && (endUs - movieFile->startUs) / 1000 > lengthMs + ExtendMarginMs) {
        lengthMs = (endUs - movieFile->startUs) / 1000;
        clock->extendDuration(static_cast<uint64_t>(lengthMs));
    }
    return true;
}

// Decodes a packet of either stream, timing the work for the pace; a picture
// goes to *frame (a video packet with frame null is not expected), sound is
// returned.
AudioBuffer *MovieDecoder::decodePacket(AVPacket *input, AbstractVideoFrame **frame)
{
    const auto start = std::chrono::steady_clock::now();
    const auto busyMs = [&start] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    if (frame && input->stream_index == movieFile->videoStreamIndex) {
        const bool key = input->flags & AV_PKT_FLAG_KEY;
        const bool atPace = applySkip(key);
        *frame = videoDecoder.decode(input);
        if (key && !*frame && movieFile->videoCodecContext->skip_frame == AVDISCARD_NONKEY)
            *frame = drainKeyPicture();
        if (atPace)
            pace.addWork(busyMs(), framePeriodMs);
    } else if (audioDecoder && input->stream_index == movieFile->audioStreamIndex) {
        AudioBuffer *buffer = audioDecoder->decode(input);
        pace.addWork(busyMs(), 0);
        return buffer;
    }
    return nullptr;
}

// A threaded decoder gives a picture out only when later ones go in, and
// skipped packets do not count: with key frames alone each would come out a
// whole group of pictures late. Key frames need no earlier picture, so the
// decoder is drained for this one and flushed for the next.
AbstractVideoFrame *MovieDecoder::drainKeyPicture()
{
    AbstractVideoFrame *newest = nullptr;
    while (AbstractVideoFrame *picture = videoDecoder.drain()) {
        giveBack(newest);
        newest = picture;
    }
    avcodec_flush_buffers(movieFile->videoCodecContext);
    videoDecoder.restart(videoDecoder.lastPictureEndMs() * 1000);
    return newest;
}

// Skipping more takes effect at once. Skipping less after key frames only
// waits for the next key frame: the pictures before it refer to ones that
// were never decoded.
bool MovieDecoder::applySkip(bool keyPacket)
{
    AVCodecContext *video = movieFile->videoCodecContext;
    const AVDiscard wanted = discardOf(exactWalk ? DecodePace::All : pace.level());
    if (wanted > video->skip_frame || video->skip_frame != AVDISCARD_NONKEY || keyPacket)
        video->skip_frame = wanted;
    return !exactWalk && video->skip_frame == wanted;
}

void MovieDecoder::holdVideo(AbstractVideoFrame *frame)
{
    if (frame) {
        giveBack(heldVideo); // only when a queue refused the previous one; the newer picture wins
        heldVideo = frame;
    }
}

void MovieDecoder::holdAudio(AudioBuffer *buffer)
{
    if (buffer) {
        giveBack(heldAudio);
        heldAudio = buffer;
    }
}

void MovieDecoder::returnHeld()
{
    giveBack(heldVideo);
    giveBack(heldAudio);
}

void MovieDecoder::giveBack(AbstractVideoFrame *&frame)
{
    if (frame && !videoFreePool->giveBack(frame)) {
        qCDebug(lcDemux).noquote() << "MovieDecoder: Frame drop";
        delete frame;
    }
    frame = nullptr;
}

void MovieDecoder::giveBack(AudioBuffer *&buffer)
{
    if (buffer && !audioFreePool->giveBack(buffer))
        delete buffer; // plain memory, unlike a frame; cannot happen with a consistent pool
    buffer = nullptr;
}
