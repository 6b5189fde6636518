#include "audio/QtAudioPlayer.h"

#include "audio/AwaitInThread.h"
#include "audio/QtAudioPlayerDevice.h"
#include "support/LogCategories.h"

#include <QAudioOutput>
#include <QtGlobal>

QtAudioPlayer::QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue,
                             FreePool<AudioBuffer> *freePool)
    : QtAudioPlayer(format, readyQueue, freePool,
                    [](const QAudioDeviceInfo &info, const QAudioFormat &qtFormat) {
                        return info.isFormatSupported(qtFormat);
                    })
{
}

QtAudioPlayer::QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue,
                             FreePool<AudioBuffer> *freePool, FormatCheck formatCheck)
    : QObject(nullptr), outputFormat(format), readyQueue(readyQueue), freePool(freePool),
      formatCheck(std::move(formatCheck))
{
    createOutput();
}

QtAudioPlayer::~QtAudioPlayer()
{
    // Qt's PulseAudio output drains pending events in its destructor; a feed
    // still queued there for an active output writes to the stream it has just
    // closed and aborts. A stopped output ignores it.
    if (output)
        output->stop();
    delete output;
    delete device;
    output = nullptr;
    device = nullptr;
}

QAudioDeviceInfo QtAudioPlayer::chooseOutputDevice()
{
    // Some backends report a placeholder default; then the first real device
    // is the better choice, if there is one.
    const QAudioDeviceInfo defaultDevice = QAudioDeviceInfo::defaultOutputDevice();
    if (defaultDevice.deviceName() != QLatin1String("Default Output Device"))
        return defaultDevice;
    const QList<QAudioDeviceInfo> available = QAudioDeviceInfo::availableDevices(QAudio::AudioOutput);
    return available.isEmpty() ? defaultDevice : available.first();
}

void QtAudioPlayer::createOutput()
{
    QAudioFormat qtFormat;
    qtFormat.setSampleRate(outputFormat.sampleRate);
    qtFormat.setChannelCount(2);
    qtFormat.setSampleSize(32);
    qtFormat.setCodec(QStringLiteral("audio/pcm"));
    qtFormat.setByteOrder(QAudioFormat::LittleEndian);
    qtFormat.setSampleType(QAudioFormat::Float);

    const QAudioDeviceInfo deviceInfo = chooseOutputDevice();
    if (!formatCheck(deviceInfo, qtFormat)) {
        qCWarning(lcAudio, "Raw audio format not supported by backend, cannot play audio.");
        return;
    }

    delete output;
    delete device;
    output = new QAudioOutput(deviceInfo, qtFormat, nullptr);
    output->setVolume(volumeSetting);
    device = new QtAudioPlayerDevice(readyQueue, freePool);
    device->open(QIODevice::ReadOnly);
}

void QtAudioPlayer::play()
{
    if (!output)
        return;
    // The state is read here, the output driven on the player's own thread,
    // which owns it.
    const QAudio::State state = output->state();
    awaitInThread(thread(), [this, state] {
        if (state == QAudio::SuspendedState)
            output->resume();
        else if (state == QAudio::StoppedState)
            output->start(device);
    });
}

void QtAudioPlayer::pause()
{
    if (output)
        output->suspend();
}

void QtAudioPlayer::stop()
{
    if (!output)
        return;
    output->reset();
    output->stop();
    createOutput();
}

void QtAudioPlayer::flush()
{
    if (!output)
        return;
    output->reset();
    device->clear();
}

void QtAudioPlayer::setVolume(float volume)
{
    if (!output)
        return;
    volumeSetting = volume;
    output->setVolume(static_cast<double>(volume));
}

float QtAudioPlayer::volume()
{
    return output ? static_cast<float>(output->volume()) : 0.0f;
}

AudioOutputFormat QtAudioPlayer::format()
{
    return outputFormat;
}
