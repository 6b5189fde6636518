// The playback engine behind the plug-in facade: state machine, queues, clock,
// loading and render-mode selection. Commands run on the host (widget) thread;
// the engine's own "ticker" thread reports the time and detects the end.
// Owns the open file, its decoder, the audio player, the frame converter, the
// frames and audio buffers (through the pools and queues) and the mode objects.
//
// Design note. Frames and audio buffers circulate: free pool -> demux thread
// (fill) -> ready queue -> frame slot / audio device -> free pool. The engine
// only holds and releases the ready queues (onHold), starts and stops the clock
// and switches the decoder's rendering; the decoder shows a frame once the clock
// reaches its time stamp. A seek is completed on the demux thread by a function
// the engine hands to the decoder. Listener calls are made with no lock held.
#pragma once

#include "player/AudioBuffer.h"
#include "player/FrameSlot.h"
#include "player/FreePool.h"
#include "player/IInternalPlayer.h"
#include "player/PlaybackClock.h"
#include "player/ReadyQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class AbstractInputHandler;
class AbstractMode;
class AbstractVideoFrame;
class IAudioPlayer;
class IRenderView;
class IVideoFrameBuilder;
class MovieDecoder;
class MovieFile;

class InternalPlayer : public IInternalPlayer {
public:
    InternalPlayer(IListener *listener, IRenderView *renderView, AbstractInputHandler *inputHandler,
                   bool hardware, bool vr);
    InternalPlayer(const InternalPlayer &) = delete;
    InternalPlayer &operator=(const InternalPlayer &) = delete;
    ~InternalPlayer() override;

    void play() override;
    void stop() override;
    void pause() override;
    void loadVideo(const std::string &path) override;
    bool isPlaying() override;
    Mode mode() override;
    void setMode(Mode m) override;
    int volume() override;
    int64_t duration() override;
    uint64_t currentTime() override;
    void setVolume(int percent) override;
    void setCurrentTime(uint64_t ms) override;
    int videoWidth() override;
    int videoHeight() override;
    void reserved15() override;
    void reserved16() override;
    bool timeUpdatesSuspended() override;
    int64_t videoDecodeRate() override;
    int64_t audioDecodeRate() override;

private:
    // Tests and the playback benchmark look inside through this friend only.
    friend class InternalPlayerInspector;

    using FrameFactory = std::function<AbstractVideoFrame *(int width, int height)>;

    void closeFile();
    void setState(State s);
    State readState();
    void finalizeVideoLoading(Mode m);
    AbstractMode *getMode(int m);
    void tickerLoop();
    void updateTime(int64_t t);
    void seekCompleted(MovieDecoder *decoder, uint64_t t0, State previous);

    IListener *listener;
    IRenderView *renderView;
    AbstractInputHandler *inputHandler;
    MovieFile *movieFile = nullptr;       // host thread; swapped under fileLock
    MovieDecoder *movieDecoder = nullptr; // host thread; swapped under fileLock
    IAudioPlayer *audioPlayer = nullptr;
    PlaybackClock clock;
    FrameSlot frameSlot;
    std::atomic<int> state;  // written under stateMutex, read anywhere
    std::mutex stateMutex;
    std::thread tickerThread;
    std::atomic<bool> stopRequested;
    FreePool<AbstractVideoFrame> videoFreePool;
    ReadyQueue<AbstractVideoFrame> videoReadyQueue;
    FreePool<AudioBuffer> audioFreePool;
    ReadyQueue<AudioBuffer> audioReadyQueue;
    Mode currentMode; // host thread only
    IVideoFrameBuilder *frameBuilder = nullptr;
    std::map<int, AbstractMode *> modes; // widget thread only
    bool hardware;

    // The ticker's end-of-media handling uses the decoder and the file; a load
    // on the host thread replaces them. This lock makes the two exclusive. It
    // is never held while a listener is called or a decoder is deleted.
    std::mutex fileLock;

    // How many frames, audio buffers and mode objects this engine has made.
    uint64_t framesMade = 0;       // host thread
    uint64_t audioBuffersMade = 0; // host thread
    uint64_t modesMade = 0;        // host thread
};
