// The engine's sound output on Qt Multimedia: a QAudioOutput in pull mode fed
// by a QtAudioPlayerDevice. Owns output and device.
//
// Threads: created on the thread that is to own it (the engine's owner
// thread). Every operation is made on that thread: the engine calls nothing
// else, and play() itself runs its work there (awaitInThread) for any caller.
// Output, device and volumeSetting are therefore owner-thread only: stop()
// replaces output and device with no lock, which is safe only because no
// other thread can be inside pause() or play() at that moment. The queue and
// pool it borrows guard themselves; the device reads them from the output's
// pulls, which Qt makes on the owner thread too.
#pragma once

#include "audio/IAudioPlayer.h"
#include "player/AudioBuffer.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QObject>

#include <functional>

class QAudioOutput;
class QtAudioPlayerDevice;

class QtAudioPlayer : public QObject, public IAudioPlayer {
    Q_OBJECT
public:
    QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool);
    ~QtAudioPlayer() override;

    void play() override;
    void stop() override;
    void pause() override;
    void flush() override;
    void setVolume(float volume) override;
    float volume() override;
    AudioOutputFormat format() override;

protected:
    // Whether the chosen device takes the format. The default asks the device;
    // tests pass their own to make the backend refuse.
    using FormatCheck = std::function<bool(const QAudioDeviceInfo &, const QAudioFormat &)>;
    QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue, FreePool<AudioBuffer> *freePool,
                  FormatCheck formatCheck);

    QAudioOutput *audioOutput() const { return output; }
    QtAudioPlayerDevice *audioDevice() const { return device; }

private:
    // Replaces output and device by a new pair, or leaves them as they are
    // when the device refuses the format.
    void createOutput();
    static QAudioDeviceInfo chooseOutputDevice();

    AudioOutputFormat outputFormat;
    ReadyQueue<AudioBuffer> *readyQueue; // not owned; guards itself
    FreePool<AudioBuffer> *freePool;     // not owned; guards itself
    QAudioOutput *output = nullptr;      // owner thread; null when the format was not supported
    QtAudioPlayerDevice *device = nullptr; // owner thread
    float volumeSetting = 0.0f;            // owner thread
    FormatCheck formatCheck;
};
