// The demux thread of one loaded file ("demux"): every 5 ms pass it reads at
// most one packet, decodes it into the engine's ready queues, moves the due
// frame into the frame slot and carries out seek requests. Built and destroyed
// on the host thread; seek and setRendering may come from any thread. Owns its
// packet decoders and the thread; pools, queues, slot and clock are the engine's.
#pragma once

#include "player/AudioBuffer.h"
#include "player/AudioOutputFormat.h"
#include "player/AudioPacketDecoder.h"
#include "player/DecodePace.h"
#include "player/FFmpegPtr.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"
#include "player/TimelineJoiner.h"
#include "player/VideoPacketDecoder.h"
#include "support/FpsCounter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class AbstractVideoFrame;
class FrameSlot;
class MovieFile;
class PlaybackClock;

class MovieDecoder {
public:
    MovieDecoder(MovieFile *movieFile, FreePool<AudioBuffer> *audioFreePool,
                 ReadyQueue<AudioBuffer> *audioReadyQueue, AudioOutputFormat format,
                 FreePool<AbstractVideoFrame> *videoFreePool,
                 ReadyQueue<AbstractVideoFrame> *videoReadyQueue, FrameSlot *frameSlot,
                 PlaybackClock *clock);
    MovieDecoder(const MovieDecoder &) = delete;
    MovieDecoder &operator=(const MovieDecoder &) = delete;
    ~MovieDecoder(); // stops and joins the demux thread

    void setRendering(bool on);
    void seek(uint64_t positionMs, std::function<void()> done);

    // Rates of the packet decoders' counters; 0 for a file without sound.
    int64_t videoDecodeRate() const;
    int64_t audioDecodeRate() const;
    bool hasAudioDecoder() const;
    // Pictures dropped unseen because they were late, since the file opened.
    uint64_t droppedPictureCount() const { return droppedPictures.load(); }

    // True while the thread waits for a seek or stop after the end of input.
    bool isAtEnd() const { return atEnd.load(); }

    // Whether the media has played out at clock time clockMs: the input has
    // ended, both decoders are drained, every picture has been shown and the
    // clock has passed the last one's end (or the known duration), and all
    // the sound has been handed to the audio device. Any thread.
    bool playedOut(uint64_t clockMs) const;

    // A picture goes into the slot this long before its time: the demux
    // pass, the repaint thread's poll and the paint take about as long to put
    // it on the screen, and the sound it belongs to is heard at its time.
    static constexpr int64_t pictureLeadMs = 25;

private:
    void run();
    bool canRead() const;
    void pushForRendering();
    void dropPicture(AbstractVideoFrame *&frame, int64_t nowMs);
    void carryOutSeek();
    void backToKeyPicture(int64_t streamTargetUs);
    bool firstPictureIsKey();
    void decodeToTarget(uint64_t targetUs);
    void cacheFrames();
    void drainStep();
    // Reads one packet and decodes it; what it gave (a picture, a buffer of
    // sound or nothing) comes back in frame and buffer. False at the end of
    // the input.
    bool readPacket(AbstractVideoFrame *&frame, AudioBuffer *&buffer);
    // The next packet of the file into packet, its stamps on the joined
    // timeline; false at the end of input (any read error counts as the end).
    bool readInput();
    AudioBuffer *decodePacket(AVPacket *input, AbstractVideoFrame **frame);
    AbstractVideoFrame *drainKeyPicture();
    // True while the sound queue is short of SoundAheadBuffers and more may
    // be set aside; readSoundAhead reads on to the next buffer of sound.
    bool wantsSound() const;
    AudioBuffer *readSoundAhead();
    // Sets the decoder's skipping to what the pace (or a seek's walk) asks,
    // before a video packet; true when it is decoded at the pace's level.
    bool applySkip(bool keyPacket);
    void reachEnd();
    void holdVideo(AbstractVideoFrame *frame);
    void holdAudio(AudioBuffer *buffer);
    void returnHeld();
    void giveBack(AbstractVideoFrame *&frame);
    void giveBack(AudioBuffer *&buffer);

    MovieFile *movieFile;
    FreePool<AudioBuffer> *audioFreePool;
    ReadyQueue<AudioBuffer> *audioReadyQueue;
    std::unique_ptr<AudioPacketDecoder> audioDecoder; // null for a file without sound
    FreePool<AbstractVideoFrame> *videoFreePool;
    ReadyQueue<AbstractVideoFrame> *videoReadyQueue;
    FrameSlot *frameSlot;
    VideoPacketDecoder videoDecoder;
    PlaybackClock *clock;

    // Polled by the thread without the lock, set under controlMutex.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> seekRequested{false};
    uint64_t seekTargetUs = 0;        // guarded by controlMutex
    std::function<void()> seekDone;   // guarded by controlMutex
    std::mutex controlMutex;
    std::condition_variable wakeUp;   // with controlMutex: end of input waits here

    std::mutex renderMutex;
    bool rendering = false;       // guarded by renderMutex
    FpsCounter renderCounter;     // ticked under renderMutex, rate read without a lock
    uint64_t lastShownTicks = 0;  // guarded by renderMutex: when a picture last went on screen (msTicks)
    std::atomic<uint64_t> droppedPictures{0};

    // The end of the media: set by the demux thread once the input has ended
    // and both decoders are drained (cleared by a seek); the last picture's
    // and the sound's ends are written before endOfMedia is set and read after it.
    std::atomic<bool> endOfMedia{false};
    std::atomic<int64_t> lastPictureEndMs{0};
    std::atomic<int64_t> lastSoundEndMs{0};
    const bool hasVideo;       // false for sound alone: no picture is ever decoded
    const int64_t framePeriodMs; // of the stream's frame rate; 40 when unknown

    // How full the audio queue was when last seen at the end, and since when
    // (msTicks): a queue the device stopped taking from (no device, say), or
    // a clock that stopped short of the sound's end, still lets the end come.
    // Guarded by endCheckMutex.
    mutable std::mutex endCheckMutex;
    mutable uint32_t audioLeftSeen = 0;
    mutable uint64_t audioLeftSinceMs = 0;

    // Demux thread only.
    TimelineJoiner joiner;
    int64_t lengthMs; // the clock's duration as this thread last set it; 0 when unknown
    AVPacketPtr packet;
    std::deque<AVPacketPtr> setAside; // video packets read past for the sound, oldest first
    int64_t setAsideBytes = 0;
    DecodePace pace;
    bool exactWalk = false; // a seek's walk decodes every picture, whatever the pace
    AbstractVideoFrame *heldVideo = nullptr;
    AudioBuffer *heldAudio = nullptr;
    std::atomic<bool> atEnd{false};
    bool inputEnded = false; // av_read_frame has reported the end; demux thread only

    std::thread thread; // started last, at the end of construction
};
