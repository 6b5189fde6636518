#include "player/InternalPlayer.h"

#include "audio/IAudioPlayer.h"
#include "audio/QtAudioPlayer.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/MovieDecoder.h"
#include "player/MovieFile.h"
#include "player/OwnerThreadQueue.h"
#include "render/AbstractMode.h"
#include "render/IRenderView.h"
#include "render/ModeFactory.h"
#include "support/HighResTimer.h"
#include "support/LogCategories.h"
#include "support/Logger.h"

#ifdef PLAYERLIBAV_HAVE_CUDA
#include "cuda/CudaVideoFrame.h"
#include "cuda/CudaVideoFrameBuilder.h"
#endif

#include <QDebug>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <pthread.h>

namespace {

constexpr uint32_t kVideoFrames = 40;
// Converted pictures waiting to be shown may take this much memory, but never
// fewer than kMinVideoFrames frames, which still bridge a slow key frame.
constexpr uint64_t kPictureBudgetBytes = 80ull << 20;
constexpr uint32_t kMinVideoFrames = 4;
constexpr uint32_t kAudioBuffers = 120;
constexpr long kTickNs = 5 * 1000 * 1000;

// Stereo, packed 32-bit float, 44100 Hz: fixed for the engine's whole life.
constexpr AudioOutputFormat kOutputFormat{3, 3, 44100, 4};

bool oneOf(int s, std::initializer_list<State> states)
{
    return std::find(states.begin(), states.end(), s) != states.end();
}

uint32_t videoFrameCount(int width, int height)
{
    const uint64_t pictureBytes = uint64_t(width > 0 ? width : 1) * uint64_t(height > 0 ? height : 1) * 4;
    return uint32_t(std::clamp<uint64_t>(kPictureBudgetBytes / pictureBytes, kMinVideoFrames, kVideoFrames));
}

void holdQueues(ReadyQueue<AudioBuffer> &audio, ReadyQueue<AbstractVideoFrame> &video, bool on)
{
    audio.setOnHold(on);
    video.setOnHold(on);
}

// Counts the owner thread into a command's work for the scope's life. Ends
// before the command announces, so nothing of the engine is touched after a
// callback that may have deleted it.
class WorkScope {
public:
    explicit WorkScope(int &depth) : depth(depth) { ++depth; }
    ~WorkScope() { --depth; }
    WorkScope(const WorkScope &) = delete;
    WorkScope &operator=(const WorkScope &) = delete;

private:
    int &depth;
};

} // namespace

InternalPlayer::InternalPlayer(IListener *listener, IRenderView *renderView,
                               AbstractInputHandler *inputHandler, bool hardware, bool vr)
    : listener(listener), renderView(renderView), inputHandler(inputHandler), clock(0), state(Idle),
      stopRequested(false), currentMode(vr ? VR : Normal), hardware(hardware),
      ownerQueue(std::make_unique<OwnerThreadQueue>()), alive(std::make_shared<std::atomic<bool>>(true))
{
    videoFreePool.setCapacity(kVideoFrames);
    videoReadyQueue.setCapacity(kVideoFrames);
    audioFreePool.setCapacity(kAudioBuffers);
    audioReadyQueue.setCapacity(kAudioBuffers);

    // The output lives on a thread of its own and reports the sound heard to the clock.
    audioPlayer = new QtAudioPlayer(kOutputFormat, &audioReadyQueue, &audioFreePool, &clock);

    // FFmpeg 4.0 and later register every format and codec by themselves;
    // av_register_all() is gone from the libraries this builds against.

    tickerThread = std::thread([this] { tickerLoop(); });
}

InternalPlayer::~InternalPlayer()
{
    // An announce() further up this thread's stack (the host deleted the
    // player from a callback) stops before its next listener call.
    alive->store(false);
    stopRequested = true;
    if (tickerThread.joinable())
        tickerThread.join();

    // Neither thread waits for this one, so joining the demux thread cannot
    // deadlock; a seek completion it posted is dropped with the owner context.
    closeFile();
    ownerQueue.reset();
    delete audioPlayer;
    audioPlayer = nullptr;
    delete frameBuilder;
    frameBuilder = nullptr;

    releaseShownFrame();
    holdAndFlushQueues();

    // Modes own GL objects (and CUDA frames' device stores are freed best with
    // the context current): they go while the view's context is current.
    renderView->execute([this] {
        renderView->setMode(nullptr);
        clearPool(videoFreePool);
        for (auto &entry : modes)
            delete entry.second;
    });
    modes.clear();
    // The queues, pools and the frame slot free what is left in them.
}

void InternalPlayer::closeFile()
{
    // The ticker asks the decoder about the end: it is taken out of its reach
    // before it goes. The demux thread being joined never waits for this thread.
    MovieDecoder *decoder = movieDecoder;
    {
        std::lock_guard<std::mutex> guard(decoderLock);
        movieDecoder = nullptr;
    }
    delete decoder;
    delete movieFile;
    movieFile = nullptr;
}

void InternalPlayer::setState(State s)
{
    state = s;
}

void InternalPlayer::announce(const Notices &notices)
{
    // The flag, not the engine, is read after a listener call: a callback may
    // have deleted the engine.
    const std::shared_ptr<std::atomic<bool>> engineAlive = alive;
    IListener *const target = listener;
    for (const Notice &notice : notices) {
        if (!engineAlive->load())
            return;
        if (notice.onlyWhileFinished && state.load() != Finished)
            continue;
        if (notice.isTime)
            target->onTimeChanged(notice.value);
        else
            target->onStateChanged(static_cast<int>(notice.value));
    }
}

void InternalPlayer::postToOwner(std::function<void()> call)
{
    ownerQueue->post(std::move(call));
}

void InternalPlayer::play()
{
    const State s = static_cast<State>(state.load());
    // During a seek, play decides the state the seek ends in.
    if (s == Seeking) {
        seekPrevious = Playing;
        return;
    }
    if (!oneOf(s, {Loaded, Paused, Finished, Stopped}))
        return;
    {
        const WorkScope scope(working);
        holdQueues(audioReadyQueue, videoReadyQueue, false);
        // After the end (also of a file of unknown length) play starts from 0.
        // At Finished the decoder went back to 0 already and its queues have
        // filled from there since: sought again, the sound would start only
        // once the decoder had caught up, with its first part cut.
        if (s == Finished || clock.reachedEnd()) {
            clock.setPosition(0);
            if (movieDecoder && s != Finished)
                movieDecoder->seek(0, {});
            audioPlayer->stop();
        }
        clock.start();
        audioPlayer->play();
        if (movieDecoder)
            movieDecoder->setRendering(true);
        setState(Playing);
    }
    announce({stateNotice(Playing)});
}

void InternalPlayer::pause()
{
    if (state.load() == Seeking && seekPrevious == Playing) {
        seekPrevious = Paused;
        return;
    }
    if (state.load() != Playing)
        return;
    {
        const WorkScope scope(working);
        holdQueues(audioReadyQueue, videoReadyQueue, true);
        clock.pause();
        audioPlayer->pause();
        if (movieDecoder)
            movieDecoder->setRendering(false);
        setState(Paused);
    }
    announce({stateNotice(Paused)});
}

// Puts both ready queues on hold and returns what they hold to their pools:
// nothing more reaches the screen or the speaker until they are released.
void InternalPlayer::holdAndFlushQueues()
{
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    flushReady(audioReadyQueue, audioFreePool);
    flushReady(videoReadyQueue, videoFreePool);
}

// Takes the picture on screen out of the slot, back to its pool.
void InternalPlayer::releaseShownFrame()
{
    AbstractVideoFrame *shown = frameSlot.exchange(nullptr);
    if (shown && !videoFreePool.giveBack(shown))
        delete shown;
}

bool InternalPlayer::stopPlayback(Notices &notices)
{
    if (!oneOf(state.load(), {Playing, Paused, Finished}))
        return false;
    const WorkScope scope(working);
    holdAndFlushQueues();
    clock.pauseAt(0);
    if (movieDecoder) {
        movieDecoder->seek(0, {});
        movieDecoder->setRendering(false);
    }
    audioPlayer->stop();
    setState(Stopped);
    notices.push_back(stateNotice(Stopped));
    notices.push_back(timeNotice(0));
    return true;
}

void InternalPlayer::stop()
{
    Notices notices;
    abandonSeek();
    if (stopPlayback(notices))
        announce(notices);
}

// A stop or a load during a seek abandons it: its completion, if it still
// comes, no longer matches the ticket. What is on screen and in the queues
// is then the stop's to clear; a seek that began before the first play
// stops like a paused file.
void InternalPlayer::abandonSeek()
{
    if (state.load() != Seeking)
        return;
    ++seekTicket;
    setState(oneOf(seekPrevious, {Loaded, Stopped}) ? Paused : seekPrevious);
}

bool InternalPlayer::isPlaying()
{
    return state.load() == Playing;
}

IInternalPlayer::Mode InternalPlayer::mode()
{
    return currentMode;
}

int InternalPlayer::volume()
{
    return static_cast<int>(audioPlayer->volume() * 100.0f);
}

int64_t InternalPlayer::duration()
{
    // The clock's: the file's length, lengthened when the media goes on past it.
    return movieFile ? static_cast<int64_t>(clock.duration()) : 0;
}

uint64_t InternalPlayer::currentTime()
{
    return clock.currentPosition();
}

void InternalPlayer::setVolume(int percent)
{
    audioPlayer->setVolume(static_cast<float>(percent) / 100.0f);
}

int InternalPlayer::videoWidth()
{
    return movieFile && movieFile->videoCodecContext ? movieFile->videoCodecContext->width : 0;
}

int InternalPlayer::videoHeight()
{
    return movieFile && movieFile->videoCodecContext ? movieFile->videoCodecContext->height : 0;
}

void InternalPlayer::reserved15()
{
}

void InternalPlayer::reserved16()
{
}

bool InternalPlayer::timeUpdatesSuspended()
{
    return false;
}

int64_t InternalPlayer::videoDecodeRate()
{
    return movieDecoder ? movieDecoder->videoDecodeRate() : 0;
}

int64_t InternalPlayer::audioDecodeRate()
{
    return movieDecoder && movieDecoder->hasAudioDecoder() ? movieDecoder->audioDecodeRate() : 0;
}

// ---- Seeking and the ticker ------------------------------------------------

void InternalPlayer::setCurrentTime(uint64_t t)
{
    const State previous = static_cast<State>(state.load());
    // Without a decoder nothing could complete the seek: refuse it too. A
    // seek during a seek moves its target.
    const bool accepted =
        !oneOf(previous, {Idle, Loading, LoadFailed}) && clock.currentPosition() != t && movieDecoder;
    if (!accepted) {
        qCDebug(lcEngine, "setCurrentTime DROPPED %llu", static_cast<unsigned long long>(t));
        return;
    }
    const uint64_t knownDuration = clock.duration();
    if (knownDuration > 0 && t >= knownDuration) {
        // Beyond the end: the media ends there, as playing to it does.
        if (previous != Finished) {
            abandonSeek();
            endMedia(knownDuration);
        }
        return;
    }
    const WorkScope scope(working);
    seekStartedMs = msTicks();
    if (previous != Seeking)
        seekPrevious = previous;
    setState(Seeking);
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    movieDecoder->setRendering(false);
    audioPlayer->pause();
    audioPlayer->flush();
    clock.pauseAt(t);
    // The demux thread only posts the completion: it never waits for this
    // thread, which may be joining it.
    const uint64_t ticket = ++seekTicket;
    movieDecoder->seek(t, [this, ticket] { postToOwner([this, ticket] { seekCompleted(ticket); }); });
}

void InternalPlayer::seekCompleted(uint64_t ticket)
{
    if (ticket != seekTicket || state.load() != Seeking || !movieDecoder)
        return;
    // Arrived through an event loop nested in a command's work (the audio
    // output runs one): run once that work is done.
    if (working > 0) {
        postToOwner([this, ticket] { seekCompleted(ticket); });
        return;
    }
    // A seek before the first play, after a stop or after the end leaves the
    // file paused at the target: a host that plays on EventLoaded must not
    // start playing after a seek, and play then goes on from the target.
    const State next = oneOf(seekPrevious, {Loaded, Stopped, Finished}) ? Paused : seekPrevious;
    {
        const WorkScope scope(working);
        holdQueues(audioReadyQueue, videoReadyQueue, false);
        if (seekPrevious == Playing) {
            clock.start();
            audioPlayer->play();
        }
        // Also while paused: the decoder then shows the frame due at the target.
        movieDecoder->setRendering(true);
        setState(next);
    }
    qCDebug(lcEngine) << "Seek took (ms)" << (msTicks() - seekStartedMs);
    announce({timeNotice(static_cast<int64_t>(clock.currentPosition())), stateNotice(next)});
}

bool InternalPlayer::endReached() const
{
    // The end: every picture shown and all the sound handed out.
    const uint64_t at = clock.currentPosition();
    std::lock_guard<std::mutex> guard(decoderLock);
    return movieDecoder ? movieDecoder->playedOut(at) : clock.reachedEnd();
}

void InternalPlayer::tickerLoop()
{
    pthread_setname_np(pthread_self(), "ticker");
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!stopRequested.load()) {
        if (clock.isRunning())
            updateTime(static_cast<int64_t>(clock.currentPosition()));

        // A deadline, not a relative sleep, so the passes keep a 5 ms cadence
        // however long the work above took; a late pass starts the next at once.
        deadline.tv_nsec += kTickNs;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_nsec -= 1000000000L;
            ++deadline.tv_sec;
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > deadline.tv_sec + 1)
            deadline = now; // the thread was stopped for long: do not catch up
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
}

void InternalPlayer::updateTime(int64_t t)
{
    // Ticker thread: reads the clock and the state, touches nothing else.
    if (oneOf(state.load(), {Idle, Loading, LoadFailed}))
        return;
    const int64_t d = static_cast<int64_t>(clock.duration());
    // A duration of 0 is an unknown length: the position is not limited.
    listener->onTimeChanged(d > 0 ? std::min(t, d) : t);
    if (endReached() && !endPosted.exchange(true))
        postToOwner([this] { handleEndOfMedia(); });
}

void InternalPlayer::handleEndOfMedia()
{
    endPosted = false;
    // A command may have come first (pause, stop, a seek, a load): then the
    // end this call was posted for is no longer there. Inside a command's work
    // (an event loop nested in it) the ticker posts again on its next pass.
    if (endReached())
        finishPlayback();
}

void InternalPlayer::finishPlayback()
{
    if (working > 0 || state.load() != Playing)
        return;
    // Played out: the position is the end, also when the last sound or
    // picture ends a little short of the length the file announced.
    endMedia(std::max(clock.currentPosition(), clock.duration()));
}

void InternalPlayer::endMedia(uint64_t atMs)
{
    {
        const WorkScope scope(working);
        holdAndFlushQueues();
        clock.pauseAt(atMs);
        if (movieDecoder) {
            movieDecoder->seek(0, {});
            movieDecoder->setRendering(false);
        }
        audioPlayer->pause();
        setState(Finished);
    }
    const int64_t at = static_cast<int64_t>(clock.currentPosition());
    // Finished is announced twice, with the end time between; the second
    // only while still finished.
    announce({stateNotice(Finished), timeNotice(at), finishedAgainNotice()});
}

// ---- Loading and render modes ----------------------------------------------

void InternalPlayer::loadVideo(const std::string &path)
{
    if (state.load() == Loading)
        return;
    Notices notices;
    {
        const WorkScope scope(working);
        abandonSeek();
        stopPlayback(notices);
        setState(Loading);
        notices.push_back(stateNotice(openFile(path) ? Loaded : LoadFailed));
    }
    announce(notices);
}

bool InternalPlayer::openFile(const std::string &path)
{
    closeFile();

    releaseShownFrame();
    holdAndFlushQueues();
    renderView->execute([this] { clearPool(videoFreePool); });
    delete frameBuilder;
    frameBuilder = nullptr;

    auto *file = new MovieFile(path, hardware);
    if (!file->isOpen()) {
        delete file;
        setState(LoadFailed);
        return false;
    }
    movieFile = file;
    clock.reset(static_cast<uint64_t>(std::max<int64_t>(file->durationMs(), 0)));
    // With sound, the picture follows what is heard; without, the wall clock.
    clock.followSound(file->hasAudio && audioPlayer->hasOutput());
    // Sound alone has no picture: the frames and the converter are left out,
    // and the view shows black.
    frameSlot.setStereoLayout(
        StereoLayout::of(file->hasVideo ? file->formatContext->streams[file->videoStreamIndex] : nullptr));
    if (file->hasVideo)
        finalizeVideoLoading(currentMode);
    else
        renderView->execute([this] { renderView->setMode(getMode(currentMode)); });

    // Every audio buffer exists before the demux thread starts taking them
    // from the pool: a buffer made later would be one too many.
    if (file->hasAudio && audioFreePool.isEmpty() && !audioBuffersMade) {
        audioBuffersMade = true;
        while (!audioFreePool.isFull()) {
            auto *buffer = new AudioBuffer();
            if (!audioFreePool.giveBack(buffer)) {
                delete buffer;
                break;
            }
        }
    }
    // The decoder exists before Loaded is announced, so that a host callback
    // may play, stop or seek from inside that event.
    auto *decoder = new MovieDecoder(file, &audioFreePool, &audioReadyQueue, audioPlayer->format(),
                                     &videoFreePool, &videoReadyQueue, &frameSlot, &clock);
    {
        std::lock_guard<std::mutex> guard(decoderLock);
        movieDecoder = decoder;
    }
    setState(Loaded);
    return true;
}

void InternalPlayer::finalizeVideoLoading(Mode m)
{
    const AVCodecContext *video = movieFile->videoCodecContext;
    const AVPixelFormat format = video->pix_fmt;
    const int width = video->width;
    const int height = video->height;

    FrameFactory frameFactory;
#ifdef PLAYERLIBAV_HAVE_CUDA
    if (hardware && CudaVideoFrameBuilder::isFormatSupported(format)) {
        auto *builder = new CudaVideoFrameBuilder();
        frameBuilder = builder;
        frameFactory = [builder](int w, int h) -> AbstractVideoFrame * {
            return new CudaVideoFrame(builder, w, h);
        };
    }
#endif
    if (!frameFactory) {
        // The documented fallback of a hardware player (no GPU, or a format
        // the CUDA converter does not take): a debug line, not a warning.
        if (hardware)
            qCDebug(lcEngine, "Video format is not supported by CUDA converter. Software converter will be used. %d",
                    static_cast<int>(format));
        auto *builder = new SwsVideoFrameBuilder();
        frameBuilder = builder;
        frameFactory = [builder](int w, int h) -> AbstractVideoFrame * {
            return new SwsVideoFrame(builder, w, h);
        };
    }

    const uint32_t frameCount = videoFrameCount(width, height);
    renderView->execute([this, width, height, m, frameFactory, frameCount] {
        clearPool(videoFreePool);
        videoFreePool.setCapacity(frameCount);
        videoReadyQueue.setCapacity(frameCount);
        // Bounded by the capacity, so a factory that yields nothing cannot spin.
        for (uint32_t i = 0; i < frameCount && !videoFreePool.isFull(); ++i) {
            AbstractVideoFrame *frame = frameFactory(width, height);
            if (!frame)
                continue;
            if (!videoFreePool.giveBack(frame))
                delete frame;
        }
        renderView->setMode(getMode(m));
    });
}

void InternalPlayer::setMode(Mode m)
{
    currentMode = m;
    logToHost(QStringLiteral("Render mode has been selected: %1").arg(static_cast<int>(m)));
    renderView->execute([this] { renderView->setMode(getMode(currentMode)); });
}

AbstractMode *InternalPlayer::getMode(int m)
{
    auto found = modes.find(m);
    if (found != modes.end())
        return found->second;
    AbstractMode *created = createMode(inputHandler, m, &frameSlot, 0, 0);
    modes.emplace(m, created);
    return created;
}
