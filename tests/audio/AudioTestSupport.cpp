#include "AudioTestSupport.h"

#include <QEventLoop>
#include <QTimer>

#include <cmath>

AudioQueues::AudioQueues()
{
    ready.setCapacity(kBufferCount);
    pool.setCapacity(kBufferCount);
    for (uint32_t i = 0; i < kBufferCount; ++i) {
        AudioBuffer *buffer = new AudioBuffer;
        buffer->capacity = kFramesPerBuffer * kBytesPerFrame;
        buffer->data = new uint8_t[buffer->capacity];
        pool.giveBack(buffer);
    }
}

void ToneFeeder::feed()
{
    if (!enabled)
        return;
    const double step = 2.0 * M_PI * hz / 44100.0;
    while (queues.ready.size() < keepQueued) {
        AudioBuffer *buffer = queues.pool.pop();
        if (!buffer)
            return;
        auto *samples = reinterpret_cast<float *>(buffer->data);
        for (uint32_t i = 0; i < kFramesPerBuffer; ++i) {
            samples[2 * i] = samples[2 * i + 1] = float(amplitude * std::sin(phase));
            phase = std::fmod(phase + step, 2.0 * M_PI);
        }
        buffer->size = kFramesPerBuffer * kBytesPerFrame;
        if (!queues.ready.push(buffer))
            queues.pool.giveBack(buffer);
    }
}

void pumpEvents(int ms, const std::function<void()> &tick)
{
    QEventLoop loop;
    QTimer ticker;
    if (tick) {
        QObject::connect(&ticker, &QTimer::timeout, tick);
        ticker.start(5);
        tick();
    }
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
