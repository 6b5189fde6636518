// The playback engine behind the plug-in facade: state machine, queues, clock,
// loading and render-mode selection. Built, driven and destroyed on one thread,
// the owner thread (the host's GUI thread); the engine's "ticker" thread reports
// the time and detects the end. Owns the open file, its decoder, the audio
// player, the frame converter, the frames and audio buffers (through the pools
// and queues) and the mode objects.
//
// Design note. Frames and audio buffers circulate: free pool -> demux thread
// (fill) -> ready queue -> frame slot / audio device -> free pool. The engine
// only holds and releases the ready queues (onHold), starts and stops the clock
// and switches the decoder's rendering; the decoder shows a frame once the clock
// reaches its time stamp.
//
// One owner. Every change of the engine's state happens on the owner thread:
// host commands run there, and the two things other threads find out - the
// ticker sees the end of the media, the demux thread finishes a seek - are
// handed to it as queued calls (postToOwner, an OwnerThreadQueue) that the
// owner's event loop runs.
// No other thread waits for the owner, so the owner may wait for them (joining
// the demux thread in a load or in the destructor cannot deadlock). A queued
// call checks that what it was posted for still holds (a seek ticket, the state)
// and otherwise does nothing.
//
// Announce after work. A command or queued call does all of its work first and
// then calls the listener, as its last step, with no lock held: a callback sees
// the finished state and may call any command, which runs and announces in turn.
// A callback may even delete the engine: announce() stops at once and touches
// nothing of the engine afterwards (the liveness flag is shared with it).
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

class AbstractInputHandler;
class AbstractMode;
class AbstractVideoFrame;
class IAudioPlayer;
class IRenderView;
class IVideoFrameBuilder;
class MovieDecoder;
class MovieFile;
class OwnerThreadQueue;

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

    // One listener call, made by announce() once a command's work is done.
    struct Notice {
        bool isTime;
        int64_t value; // a State, or a time in ms
        // Sent only while the engine is still finished: the repeated Finished
        // is void once a callback of the first one has played, loaded, sought or stopped.
        bool onlyWhileFinished = false;
    };
    using Notices = std::vector<Notice>;
    static Notice stateNotice(State s) { return {false, s}; }
    static Notice timeNotice(int64_t ms) { return {true, ms}; }
    static Notice finishedAgainNotice() { return {false, Finished, true}; }

    void closeFile();
    void setState(State s);
    void announce(const Notices &notices);
    void postToOwner(std::function<void()> call);
    bool stopPlayback(Notices &notices);
    void abandonSeek();
    void holdAndFlushQueues();
    void releaseShownFrame();
    bool openFile(const std::string &path);
    bool endReached() const;
    void finalizeVideoLoading(Mode m);
    AbstractMode *getMode(int m);
    void tickerLoop();
    void updateTime(int64_t t);
    void handleEndOfMedia();
    void finishPlayback(); // the end handling proper, once the end is confirmed
    void endMedia(uint64_t atMs); // holds everything at atMs and enters Finished
    void seekCompleted(uint64_t ticket);

    IListener *listener;
    IRenderView *renderView;
    AbstractInputHandler *inputHandler;
    MovieFile *movieFile = nullptr;       // owner thread
    MovieDecoder *movieDecoder = nullptr; // written by the owner thread under decoderLock; the ticker reads it under the lock
    mutable std::mutex decoderLock;       // guards movieDecoder against the ticker's end check
    IAudioPlayer *audioPlayer = nullptr;  // owner thread; its output runs on a thread of its own
    PlaybackClock clock;                  // its own lock; written on the owner thread
    FrameSlot frameSlot;
    std::atomic<int> state; // written on the owner thread only, read anywhere
    std::thread tickerThread;
    std::atomic<bool> stopRequested;
    FreePool<AbstractVideoFrame> videoFreePool;
    ReadyQueue<AbstractVideoFrame> videoReadyQueue;
    FreePool<AudioBuffer> audioFreePool;
    ReadyQueue<AudioBuffer> audioReadyQueue;
    Mode currentMode; // owner thread
    IVideoFrameBuilder *frameBuilder = nullptr;
    std::map<int, AbstractMode *> modes; // owner thread
    bool hardware;

    // The calls other threads post to the owner thread. Deleted after the
    // ticker and the demux thread have ended, which drops calls still queued.
    std::unique_ptr<OwnerThreadQueue> ownerQueue;
    // Set by the ticker when it has posted the end handling, cleared by the
    // handling: one queued call per end, not one per ticker pass.
    std::atomic<bool> endPosted{false};
    // The running seek: each accepted seek takes a new ticket; a completion
    // whose ticket is no longer current (a load replaced the decoder) is void.
    uint64_t seekTicket = 0;         // owner thread
    State seekPrevious = Idle;       // owner thread: the state the seek left
    uint64_t seekStartedMs = 0;      // owner thread
    // How deep the owner thread is in a command's work; queued calls that an
    // event loop nested in that work delivers wait until it is 0.
    int working = 0; // owner thread
    // False once the destructor has begun; announce() holds a reference.
    std::shared_ptr<std::atomic<bool>> alive;
    // The audio buffers are made once, for the first file with sound, and
    // live as long as the engine.
    bool audioBuffersMade = false; // owner thread
};
