#include "audio/QtAudioPlayer.h"

#include "audio/AwaitInThread.h"
#include "audio/QtAudioPlayerDevice.h"
#include "player/OwnerThreadQueue.h"
#include "player/PlaybackClock.h"
#include "support/LogCategories.h"

#include <QAudioOutput>
#include <QTimer>

#include <algorithm>
#include <utility>

QtAudioPlayer::QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue,
                             FreePool<AudioBuffer> *freePool, PlaybackClock *clock)
    : QtAudioPlayer(format, readyQueue, freePool, clock,
                    [](const QAudioDeviceInfo &info, const QAudioFormat &qtFormat) {
                        return info.isFormatSupported(qtFormat);
                    })
{
}

QtAudioPlayer::QtAudioPlayer(AudioOutputFormat format, ReadyQueue<AudioBuffer> *readyQueue,
                             FreePool<AudioBuffer> *freePool, PlaybackClock *clock, FormatCheck formatCheck)
    : outputFormat(format), frameBytes(2 * format.bytesPerSample), readyQueue(readyQueue), freePool(freePool),
      clock(clock),
      formatCheck(std::move(formatCheck))
{
    thread.setObjectName(QStringLiteral("audio"));
    thread.start();
    // The audio thread waits for nobody, so waiting for it here is safe; the
    // output exists (or is known to be refused) when the constructor returns.
    awaitInThread(&thread, [this] {
        calls = new OwnerThreadQueue();
        createOutput();
    });
}

QtAudioPlayer::~QtAudioPlayer()
{
    // Deleting the output runs an event loop inside Qt's backend: on the
    // audio thread it can only reach the audio thread's own events.
    awaitInThread(&thread, [this] {
        stopOutput();
        delete std::exchange(feedTimer, nullptr);
        // Taken out of reach first: a call that the backend's event loop
        // might run from inside the delete finds no output.
        delete std::exchange(output, nullptr);
        delete std::exchange(device, nullptr);
        delete std::exchange(calls, nullptr);
    });
    thread.quit();
    thread.wait();
}

void QtAudioPlayer::post(std::function<void()> call)
{
    calls->post(std::move(call));
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
    if (outputFormat.sampleRate <= 0 || !formatCheck(deviceInfo, qtFormat)) {
        qCWarning(lcAudio, "Raw audio format not supported by backend, cannot play audio.");
        return;
    }
    output = new QAudioOutput(deviceInfo, qtFormat, nullptr);
    output->setBufferSize(outputFormat.sampleRate / 1000 * bufferMs * frameBytes);
    output->setVolume(static_cast<double>(volumeSetting.load()));
    device = new QtAudioPlayerDevice(readyQueue, freePool, frameBytes, outputFormat.sampleRate);
    // Unbuffered: every byte read is one written to the server at once, so
    // what was served is what the server got.
    device->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    feedTimer = new QTimer();
    feedTimer->setTimerType(Qt::PreciseTimer);
    feedTimer->setInterval(feedIntervalMs);
    QObject::connect(feedTimer, &QTimer::timeout, [this] { feed(); });
    outputMade = true;
}

void QtAudioPlayer::feed()
{
    const QAudio::State state = output->state();
    if (!sink || (state != QAudio::ActiveState && state != QAudio::IdleState))
        return;
    // Whatever room the server has, to the byte.
    const int free = output->bytesFree();
    const int room = free - free % frameBytes;
    if (room > 0) {
        if (feedBuffer.size() < size_t(room))
            feedBuffer.resize(size_t(room));
        const qint64 n = device->read(feedBuffer.data(), room);
        if (n > 0)
            sink->write(feedBuffer.data(), n);
    }
    // What the server holds is the output's buffer less its free part.
    const int64_t held = output->bufferSize() - output->bytesFree();
    const int64_t heardBytes = device->servedBytes() - std::max<int64_t>(held, 0);
    if (!clock)
        return;
    // Nothing has left the speaker yet: the clock keeps waiting.
    if (heardBytes > 0)
        clock->reportHeard(device->msAt(heardBytes));
}

void QtAudioPlayer::stopOutput()
{
    if (!output)
        return;
    feedTimer->stop();
    output->stop();
    sink = nullptr; // the output deleted it
    device->clear();
}

void QtAudioPlayer::play()
{
    post([this] {
        if (!output)
            return;
        if (output->state() == QAudio::SuspendedState) {
            output->resume();
        } else if (output->state() == QAudio::StoppedState) {
            device->beginAt(clock ? static_cast<double>(clock->currentPosition()) : 0.0);
            sink = output->start();
        }
        feedTimer->start();
        feed();
    });
}

void QtAudioPlayer::pause()
{
    post([this] {
        if (!output)
            return;
        feedTimer->stop();
        output->suspend();
    });
}

void QtAudioPlayer::stop()
{
    post([this] { stopOutput(); });
}

void QtAudioPlayer::flush()
{
    post([this] { stopOutput(); });
}

void QtAudioPlayer::setVolume(float volume)
{
    if (!outputMade.load())
        return;
    volumeSetting = volume;
    post([this, volume] {
        if (output)
            output->setVolume(static_cast<double>(volume));
    });
}

float QtAudioPlayer::volume()
{
    return volumeSetting.load();
}

AudioOutputFormat QtAudioPlayer::format()
{
    return outputFormat;
}
