// The engine's sound output on Qt Multimedia: a QAudioOutput in push mode fed
// from a QtAudioPlayerDevice every few ms, both living on a thread of their
// own ("audio"). Feeding by hand, not by Qt's pulls, writes exactly the room
// the sound server has, on the same timer that reports what is heard, so what
// was served is known to the byte when the report is made.
//
// Threads: the player is made, called and deleted on the engine's owner
// thread, and every call returns at once: it posts its work to the audio
// thread, which carries the calls out in the order they were made. The output
// is made once there and deleted only when the player goes, also there, so
// whatever event loop Qt's backend runs while it starts, stops or deletes an
// output runs on the audio thread, never on the host's. The audio thread never
// waits for the owner: the owner may wait for it (making and deleting the
// player do). Output, device and the report timer are audio-thread only; the
// volume and whether an output exists are atomics any thread reads. The queue
// and pool it borrows guard themselves.
//
// The clock: at every feed, while sound plays, the audio thread tells the
// playback clock which media time is being heard: the time of the byte the
// device served last, less what the sound server still holds.
#pragma once

#include "audio/IAudioPlayer.h"
#include "player/AudioBuffer.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class OwnerThreadQueue;
class PlaybackClock;
class QAudioOutput;
class QIODevice;
class QTimer;
class QtAudioPlayerDevice;

class QtAudioPlayer : public IAudioPlayer {
public:
    // clock may be null: the output then reports to nobody.
    QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool,
                  PlaybackClock *clock = nullptr);
    ~QtAudioPlayer() override;

    void play() override;  // resumes a paused output, starts a stopped one at the clock's position
    void stop() override;  // stops the output; the next play starts afresh
    void pause() override; // suspends, keeping what is buffered
    void flush() override; // drops what the output holds (stops it)
    void setVolume(float volume) override;
    float volume() override;
    AudioOutputFormat format() override;
    // Whether the device took the format: without an output nothing plays
    // and nothing reports to the clock.
    bool hasOutput() const override { return outputMade.load(); }

    // The sound server keeps at most this much of the output's sound: what
    // a pause, a stop or a volume change can lag behind by.
    static constexpr int bufferMs = 80;
    static constexpr int feedIntervalMs = 10;

protected:
    // Whether the chosen device takes the format. The default asks the device;
    // tests pass their own to make the backend refuse.
    using FormatCheck = std::function<bool(const QAudioDeviceInfo &, const QAudioFormat &)>;
    QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool,
                  PlaybackClock *clock, FormatCheck formatCheck);

private:
    // Runs call on the audio thread, after every call posted before it.
    void post(std::function<void()> call);
    // Audio thread.
    void createOutput();
    void stopOutput();
    void feed();
    static QAudioDeviceInfo chooseOutputDevice();

    AudioOutputFormat outputFormat;
    const int frameBytes; // one sample of every channel
    ReadyQueue<AudioBuffer> *readyQueue; // not owned; guards itself
    FreePool<AudioBuffer> *freePool;     // not owned; guards itself
    PlaybackClock *clock;                // not owned; guards itself
    FormatCheck formatCheck;

    QThread thread;
    OwnerThreadQueue *calls = nullptr;     // lives on the audio thread, posted to from the owner
    QAudioOutput *output = nullptr;        // audio thread; null when the format was not supported
    QtAudioPlayerDevice *device = nullptr; // audio thread
    QIODevice *sink = nullptr;             // audio thread: where writes go while started, owned by the output
    QTimer *feedTimer = nullptr;           // audio thread
    std::vector<char> feedBuffer;          // audio thread
    std::atomic<float> volumeSetting{0.0f};
    std::atomic<bool> outputMade{false};
};
