#include "player/InternalPlayer.h"

#include "audio/IAudioPlayer.h"
#include "audio/QtAudioPlayer.h"
#include "frames/AbstractVideoFrame.h"
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/MovieDecoder.h"
#include "player/MovieFile.h"
#include "render/AbstractMode.h"
#include "render/IRenderView.h"
#include "render/ModeFactory.h"
#include "support/HighResTimer.h"
#include "support/Logger.h"

#ifdef PLAYERLIBAV_HAVE_CUDA
#include "cuda/CudaVideoFrame.h"
#include "cuda/CudaVideoFrameBuilder.h"
#endif

#include <QCoreApplication>
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

} // namespace

InternalPlayer::InternalPlayer(IListener *listener, IRenderView *renderView,
                               AbstractInputHandler *inputHandler, bool hardware, bool vr)
    : listener(listener), renderView(renderView), inputHandler(inputHandler), clock(0), state(Idle),
      stopRequested(false), currentMode(vr ? VR : Normal), hardware(hardware)
{
    videoFreePool.setCapacity(kVideoFrames);
    videoReadyQueue.setCapacity(kVideoFrames);
    audioFreePool.setCapacity(kAudioBuffers);
    audioReadyQueue.setCapacity(kAudioBuffers);

    audioPlayer = new QtAudioPlayer(kOutputFormat, &audioReadyQueue, &audioFreePool);

    // FFmpeg 4.0 and later register every format and codec by themselves;
    // av_register_all() is gone from the libraries this builds against.

    tickerThread = std::thread([this] { tickerLoop(); });
}

InternalPlayer::~InternalPlayer()
{
    stopRequested = true;
    if (tickerThread.joinable())
        tickerThread.join();

    // A seek completion on the demux thread starts the audio output through
    // this thread's event loop and waits for it there. Serve that call before
    // the demux thread is joined, or the two threads would wait for each other.
    // The completion follows every accepted seek; the bound only guards
    // against a decoder that never gets to it.
    for (int waited = 0; movieDecoder && readState() == Seeking && waited < 10000; ++waited) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        sleepMs(1);
    }

    closeFile();
    delete audioPlayer;
    audioPlayer = nullptr;
    delete frameBuilder;
    frameBuilder = nullptr;

    AbstractVideoFrame *shown = frameSlot.exchange(nullptr);
    if (shown && !videoFreePool.giveBack(shown))
        delete shown;
    flushReady(videoReadyQueue, videoFreePool);

    // Frames and modes own GL objects: they go while the view's context is current.
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
    MovieDecoder *decoder;
    MovieFile *file;
    {
        std::lock_guard<std::mutex> guard(fileLock);
        decoder = movieDecoder;
        file = movieFile;
        movieDecoder = nullptr;
        movieFile = nullptr;
    }
    // Outside the lock: the demux thread being joined may still be working.
    delete decoder;
    delete file;
}

void InternalPlayer::setState(State s)
{
    {
        std::lock_guard<std::mutex> guard(stateMutex);
        state = s;
    }
    listener->onStateChanged(s);
}

State InternalPlayer::readState()
{
    std::lock_guard<std::mutex> guard(stateMutex);
    return static_cast<State>(state.load());
}

void InternalPlayer::play()
{
    if (!oneOf(readState(), {Loaded, Paused, Finished, Stopped}))
        return;
    setState(Playing);
    holdQueues(audioReadyQueue, videoReadyQueue, false);
    if (clock.reachedEnd()) {
        clock.setPosition(0);
        if (movieDecoder)
            movieDecoder->seek(0, {});
        audioPlayer->stop();
    }
    clock.start();
    audioPlayer->play();
    if (movieDecoder)
        movieDecoder->setRendering(true);
}

void InternalPlayer::pause()
{
    if (readState() != Playing)
        return;
    setState(Paused);
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    clock.pause();
    audioPlayer->pause();
    if (movieDecoder)
        movieDecoder->setRendering(false);
}

void InternalPlayer::stop()
{
    if (!oneOf(readState(), {Playing, Paused, Finished}))
        return;
    setState(Stopped);
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    flushReady(audioReadyQueue, audioFreePool);
    flushReady(videoReadyQueue, videoFreePool);
    clock.pause();
    clock.setPosition(0);
    if (movieDecoder) {
        movieDecoder->seek(0, {});
        movieDecoder->setRendering(false);
    }
    audioPlayer->stop();
    listener->onTimeChanged(0);
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
    return movieFile ? movieFile->durationMs() : 0;
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
    State previous;
    bool accepted;
    {
        std::lock_guard<std::mutex> guard(stateMutex);
        previous = static_cast<State>(state.load());
        // Without a decoder nothing could complete the seek: refuse it too.
        accepted = !oneOf(previous, {Idle, Loading, LoadFailed, Seeking}) &&
                   clock.currentPosition() != t && movieDecoder;
    }
    if (!accepted) {
        qDebug("setCurrentTime DROPPED %llu", static_cast<unsigned long long>(t));
        return;
    }
    const uint64_t t0 = msTicks();
    setState(Seeking);
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    movieDecoder->setRendering(false);
    audioPlayer->pause();
    audioPlayer->flush();
    clock.pause();
    clock.setPosition(t);
    // The completion runs on this decoder's own thread, so the decoder it
    // names is alive for as long as the function can run.
    MovieDecoder *decoder = movieDecoder;
    decoder->seek(t, [this, decoder, t0, previous] { seekCompleted(decoder, t0, previous); });
}

void InternalPlayer::seekCompleted(MovieDecoder *decoder, uint64_t t0, State previous)
{
    holdQueues(audioReadyQueue, videoReadyQueue, false);
    if (previous == Playing) {
        clock.start();
        audioPlayer->play();
    }
    // Also while paused: the decoder then shows the frame due at the target.
    decoder->setRendering(true);
    listener->onTimeChanged(static_cast<int64_t>(clock.currentPosition()));
    setState(previous);
    qDebug() << "Seek took (ms)" << (msTicks() - t0);
}

void InternalPlayer::tickerLoop()
{
    pthread_setname_np(pthread_self(), "ticker");
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!stopRequested.load()) {
        if (clock.isRunning()) {
            if (clock.reachedEnd()) {
                clock.pause();
                {
                    std::lock_guard<std::mutex> guard(stateMutex);
                    state = Finished;
                }
                listener->onStateChanged(Finished);
            }
            updateTime(static_cast<int64_t>(clock.currentPosition()));
        }

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
    if (oneOf(readState(), {Idle, Loading, LoadFailed}))
        return;
    int64_t d;
    {
        std::lock_guard<std::mutex> guard(fileLock);
        d = duration();
    }
    const int64_t shown = std::min(t, d);
    listener->onTimeChanged(shown);
    if (shown != d)
        return;

    holdQueues(audioReadyQueue, videoReadyQueue, true);
    flushReady(audioReadyQueue, audioFreePool);
    flushReady(videoReadyQueue, videoFreePool);
    clock.pause();
    {
        std::lock_guard<std::mutex> guard(fileLock);
        if (movieDecoder)
            movieDecoder->seek(0, {});
    }
    audioPlayer->pause();
    {
        std::lock_guard<std::mutex> guard(fileLock);
        if (movieDecoder)
            movieDecoder->setRendering(false);
    }
    setState(Finished);
}

// ---- Loading and render modes ----------------------------------------------

void InternalPlayer::loadVideo(const std::string &path)
{
    if (oneOf(readState(), {Loading, Seeking}))
        return;
    stop();
    setState(Loading);

    closeFile();

    AbstractVideoFrame *shown = frameSlot.exchange(nullptr);
    if (shown && !videoFreePool.giveBack(shown))
        delete shown;
    holdQueues(audioReadyQueue, videoReadyQueue, true);
    flushReady(audioReadyQueue, audioFreePool);
    flushReady(videoReadyQueue, videoFreePool);
    renderView->execute([this] { clearPool(videoFreePool); });
    delete frameBuilder;
    frameBuilder = nullptr;

    auto *file = new MovieFile(path, hardware);
    if (!file->isOpen()) {
        delete file;
        setState(LoadFailed);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(fileLock);
        movieFile = file;
    }
    clock.reset(static_cast<uint64_t>(file->durationMs()));
    finalizeVideoLoading(currentMode);

    // The decoder exists before Loaded is announced, so that a host callback
    // may play, stop or seek from inside that event.
    auto *decoder = new MovieDecoder(file, &audioFreePool, &audioReadyQueue, audioPlayer->format(),
                                     &videoFreePool, &videoReadyQueue, &frameSlot, &clock);
    {
        std::lock_guard<std::mutex> guard(fileLock);
        movieDecoder = decoder;
    }
    if (file->hasAudio && audioFreePool.isEmpty()) {
        while (!audioFreePool.isFull()) {
            auto *buffer = new AudioBuffer();
            ++audioBuffersMade;
            if (!audioFreePool.giveBack(buffer)) {
                delete buffer;
                break;
            }
        }
    }
    setState(Loaded);
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
        if (hardware)
            qWarning("Video format is not supported by CUDA converter. Software converter will be used. %d",
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
            ++framesMade;
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
    if (created)
        ++modesMade;
    modes.emplace(m, created);
    return created;
}
