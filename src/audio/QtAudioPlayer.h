// The engine's sound output on Qt Multimedia: a QAudioOutput in pull mode fed
// by a QtAudioPlayerDevice. Created on the thread that is to own it; play runs
// on that thread, the other operations on the caller's (the engine calls them
// all on the owning thread). Owns output and device.
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
    ReadyQueue<AudioBuffer> *readyQueue; // not owned
    FreePool<AudioBuffer> *freePool;     // not owned
    QAudioOutput *output = nullptr;      // null when the format was not supported
    QtAudioPlayerDevice *device = nullptr;
    float volumeSetting = 0.0f;
    FormatCheck formatCheck;
};
