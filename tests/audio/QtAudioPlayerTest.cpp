// QtAudioPlayer playing a sine tone into the PulseAudio null sink, checked by
// recording the sink's monitor. Buffers are fed the way the engine's decoder does.
#include "audio/QtAudioPlayer.h"
#include "audio/AwaitInThread.h"
#include "common/SoundRecorder.h"
#include "common/TestMedia.h"

#include <QAudioOutput>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};
constexpr uint32_t kBufferCount = 120; // the engine's idle buffers
constexpr uint32_t kFrames = 1024; // stereo float frames per buffer
constexpr double kFullRms = 0.5 / 1.4142135623730951; // sine of amplitude 0.5
const std::string kRefused = "Raw audio format not supported by backend, cannot play audio.";

// The engine's queues with its idle buffers, and a decoder stand-in that keeps
// `queued` buffers of a continuous stereo sine waiting.
struct AudioQueues {
    AudioQueues()
    {
        ready.setCapacity(kBufferCount);
        pool.setCapacity(kBufferCount);
        for (uint32_t i = 0; i < kBufferCount; ++i) {
            AudioBuffer *buffer = new AudioBuffer;
            buffer->capacity = buffer->size = kFrames * 2 * sizeof(float);
            buffer->data = new uint8_t[buffer->capacity];
            pool.giveBack(buffer);
        }
    }
    void feed()
    {
        AudioBuffer *buffer;
        while (enabled && ready.size() < queued && (buffer = pool.pop())) {
            auto *samples = reinterpret_cast<float *>(buffer->data);
            for (uint32_t i = 0; i < 2 * kFrames; i += 2) {
                samples[i] = samples[i + 1] = float(0.5 * std::sin(phase));
                phase = std::fmod(phase + 2.0 * M_PI * hz / 44100.0, 2.0 * M_PI);
            }
            ready.push(buffer);
        }
    }
    void expectAllIdle()
    {
        flushReady(ready, pool);
        EXPECT_EQ(pool.size(), kBufferCount);
    }

    ReadyQueue<AudioBuffer> ready;
    FreePool<AudioBuffer> pool;
    double hz = 440.0, phase = 0.0;
    uint32_t queued = 20;
    bool enabled = true;
};

// Runs this thread's event loop for ms milliseconds, feeding every 5 ms.
void pumpEvents(int ms, AudioQueues *feeding = nullptr)
{
    QEventLoop loop;
    QTimer ticker;
    if (feeding) {
        QObject::connect(&ticker, &QTimer::timeout, [feeding] { feeding->feed(); });
        ticker.start(5);
        feeding->feed();
    }
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class TestPlayer : public QtAudioPlayer {
public:
    explicit TestPlayer(AudioQueues &q)
        : QtAudioPlayer(kFormat, &q.ready, &q.pool)
    {
    }
    TestPlayer(AudioQueues &q, FormatCheck check)
        : QtAudioPlayer(kFormat, &q.ready, &q.pool, std::move(check))
    {
    }
    using QtAudioPlayer::audioOutput;
};

std::vector<std::string> warnings;
void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings.push_back(message.toStdString());
}

class QtAudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh (PulseAudio null sink)";
        player = new TestPlayer(queues);
        ASSERT_NE(player->audioOutput(), nullptr);
        ASSERT_TRUE(recorder.start()) << recorder.error();
    }
    void TearDown() override
    {
        if (!player)
            return;
        // The device gives back the buffer in play.
        awaitInThread(player->thread(), [this] { delete player; });
        owner.quit();
        owner.wait();
        queues.expectAllIdle();
    }

    // Volume 1, tone queued, output started.
    void startTone()
    {
        player->setVolume(1.0f);
        queues.feed();
        player->play();
    }
    void feedFor(int ms) { pumpEvents(ms, &queues); }
    uint32_t buffersOutside() { return kBufferCount - queues.pool.size() - queues.ready.size(); }
    QAudio::State outputState() { return player->audioOutput()->state(); }

    // Stops feeding and recording; the trace prints level and pitch per 100 ms.
    void finishRecording()
    {
        queues.enabled = false;
        pumpEvents(300);
        recorder.stop();
        ASSERT_GT(recorder.duration(), 1.0);
        const std::vector<double> hz = recorder.frequencyOverTime(0.1);
        for (size_t i = 0; i < hz.size(); ++i)
            profile += std::to_string(i / 10.0).substr(0, 4) + "s rms "
                + std::to_string(recorder.rms(i / 10.0, (i + 1) / 10.0)) + " " + std::to_string(int(hz[i]))
                + " Hz\n";
    }

    QThread owner; // runs an event loop for a player made there
    AudioQueues queues;
    TestPlayer *player = nullptr;
    SoundRecorder recorder;
    std::string profile;
};

// Silent at the initial volume 0 while buffers are consumed, then the tone at
// its own level, then at half the amplitude.
TEST_F(QtAudioPlayerTest, PlaysQueuedToneAtTheVolumeSet)
{
    EXPECT_FLOAT_EQ(player->volume(), 0.0f);
    queues.feed();
    player->play();
    feedFor(1000);
    EXPECT_GT(queues.pool.size() + buffersOutside(), 0u) << "nothing was pulled at volume 0";
    player->setVolume(1.0f);
    feedFor(1300);
    player->setVolume(0.5f);
    feedFor(1300);
    finishRecording();
    SCOPED_TRACE(profile);

    const double start = recorder.soundStart();
    ASSERT_GE(start, 0.0);
    double half = -1.0;
    for (double t = start; t < recorder.duration() && half < 0; t += 0.01) {
        if (recorder.level(t, t + 0.3) < 0.27)
            half = t;
    }
    ASSERT_GT(half, start);
    EXPECT_NEAR(half - start, 1.3, 0.45) << "nothing may be heard at volume 0";
    const double full = recorder.level(start + 0.2, half - 0.2);
    EXPECT_NEAR(full, kFullRms, 0.1 * kFullRms);
    EXPECT_NEAR(recorder.peak(start + 0.2, half - 0.2), 0.5, 0.05);
    EXPECT_NEAR(recorder.tone(start + 0.2, half - 0.2), 440.0, 3.0);
    EXPECT_NEAR(recorder.level(half + 0.2, half + 0.9) / full, 0.5, 0.05);
    EXPECT_NEAR(recorder.tone(half + 0.2, half + 0.9), 440.0, 3.0);
}

// The engine calls play from its own threads: the output is started on the
// thread that owns the player. Held, it plays silence though buffers are queued.
TEST_F(QtAudioPlayerTest, PlayFromAnotherThreadAndHoldGivesSilence)
{
    delete player;
    player = nullptr;
    owner.start();
    awaitInThread(&owner, [this] { player = new TestPlayer(queues); });
    ASSERT_EQ(player->thread(), &owner);
    queues.ready.setOnHold(true);
    startTone();
    const uint32_t queued = queues.ready.size();
    pumpEvents(1200);
    EXPECT_EQ(queues.ready.size(), queued);
    EXPECT_EQ(outputState(), QAudio::ActiveState) << "silence keeps the output running";

    queues.ready.setOnHold(false);
    feedFor(1000);
    finishRecording();
    SCOPED_TRACE(profile);
    const double start = recorder.soundStart();
    EXPECT_GE(start, 0.6);
    EXPECT_NEAR(recorder.tone(start + 0.1, start + 0.8), 440.0, 3.0);
}

// Pause suspends and play resumes the same output; stop rebuilds it, stopped,
// and the next play starts it.
TEST_F(QtAudioPlayerTest, PauseResumesTheSameOutputAndStopRebuildsIt)
{
    startTone();
    feedFor(800);
    QPointer<QAudioOutput> output = player->audioOutput();
    player->pause();
    EXPECT_EQ(outputState(), QAudio::SuspendedState);
    const qint64 playedBeforePause = output->processedUSecs();
    const uint32_t queued = queues.ready.size();
    pumpEvents(1000);
    EXPECT_EQ(queues.ready.size(), queued) << "a suspended output pulls nothing";
    player->play();
    EXPECT_EQ(outputState(), QAudio::ActiveState);
    feedFor(800);
    ASSERT_EQ(player->audioOutput(), output.data());
    EXPECT_GT(output->processedUSecs(), playedBeforePause + 300000) << "a restarted output counts from zero";

    player->stop();
    EXPECT_TRUE(output.isNull());
    ASSERT_NE(player->audioOutput(), nullptr);
    EXPECT_EQ(outputState(), QAudio::StoppedState);
    EXPECT_NEAR(player->volume(), 1.0f, 1e-4) << "the rebuilt output keeps the volume set";
    EXPECT_EQ(buffersOutside(), 0u);
    feedFor(700);
    player->play();
    EXPECT_NE(outputState(), QAudio::StoppedState);
    feedFor(800);
    finishRecording();
    SCOPED_TRACE(profile);

    const double paused = recorder.soundEnd();
    const double resumed = recorder.soundStart(paused);
    ASSERT_GT(paused, recorder.soundStart());
    EXPECT_GT(resumed - paused, 0.6);
    EXPECT_NEAR(recorder.tone(resumed + 0.1, resumed + 0.6), 440.0, 3.0);
    const double stoppedAt = recorder.soundEnd(resumed);
    ASSERT_GT(stoppedAt, resumed);
    const double restarted = recorder.soundStart(stoppedAt);
    EXPECT_GT(restarted - stoppedAt, 0.4);
    EXPECT_NEAR(recorder.level(restarted + 0.1, restarted + 0.6), kFullRms, 0.1 * kFullRms);
}

// What the engine does when the position jumps: flush the output, empty the
// ready queue into the pool, queue sound of the new position and play.
TEST_F(QtAudioPlayerTest, FlushDropsWhatWasBuffered)
{
    queues.queued = 100;
    startTone();
    feedFor(800);
    // What the output has taken from the device so far, heard or still in its buffer.
    const double handedOut = player->audioOutput()->processedUSecs() / 1e6;
    player->flush();
    EXPECT_EQ(buffersOutside(), 0u) << "the buffer in play goes back to the pool";
    flushReady(queues.ready, queues.pool);
    pumpEvents(600);
    queues.hz = 880.0;
    queues.queued = 20;
    queues.feed();
    player->play();
    feedFor(800);
    finishRecording();
    SCOPED_TRACE(profile);

    const double lowStart = recorder.soundStart();
    const double lowEnd = recorder.soundEnd();
    ASSERT_GT(lowEnd, lowStart);
    EXPECT_NEAR(recorder.tone(lowStart + 0.1, lowEnd - 0.1), 440.0, 3.0);
    // The output's own buffer (a quarter of a second) was thrown away, not played out.
    EXPECT_LT(recorder.soundDuration(lowStart, lowEnd), handedOut - 0.08);
    const double highStart = recorder.soundStart(lowEnd);
    ASSERT_GT(highStart, lowEnd);
    EXPECT_NEAR(recorder.tone(highStart + 0.1, highStart + 0.6), 880.0, 3.0);
    for (double t = highStart; t + 0.1 <= recorder.duration(); t += 0.1)
        EXPECT_GT(std::fabs(recorder.tone(t, t + 0.1) - 440.0), 5.0)
            << "dropped 440 Hz back at " << t << " s";
}

// A format the device refuses: the quoted warning and a player that does
// nothing; a refused rebuild keeps the output that was there; the real backend
// refuses a rate of zero.
TEST(QtAudioPlayerRefusedFormatTest, WarnsAndLeavesAPlayerThatDoesNothing)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh (PulseAudio null sink)";
    AudioQueues queues;
    bool accept = false;
    warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    {
        TestPlayer player(queues, [&](const QAudioDeviceInfo &, const QAudioFormat &) { return accept; });
        EXPECT_EQ(player.audioOutput(), nullptr);
        player.setVolume(0.8f);
        EXPECT_FLOAT_EQ(player.volume(), 0.0f);
        queues.feed();
        player.play();
        pumpEvents(300);
        EXPECT_EQ(queues.ready.size(), 20u) << "nobody drains the queue";
        player.pause();
        player.flush();
        player.stop();
        EXPECT_EQ(player.audioOutput(), nullptr);
    }
    EXPECT_EQ(warnings, std::vector<std::string>{kRefused}) << "without an output stop does not rebuild";
    queues.expectAllIdle();

    accept = true;
    TestPlayer player(queues, [&](const QAudioDeviceInfo &, const QAudioFormat &) { return accept; });
    QPointer<QAudioOutput> output = player.audioOutput();
    ASSERT_FALSE(output.isNull());
    player.setVolume(0.25f);
    accept = false;
    player.stop();
    EXPECT_EQ(player.audioOutput(), output.data());
    EXPECT_NEAR(player.volume(), 0.25f, 1e-4);

    warnings.clear();
    QtAudioPlayer zeroRate({3, 3, 0, 4}, &queues.ready, &queues.pool);
    qInstallMessageHandler(previous);
    EXPECT_FLOAT_EQ(zeroRate.volume(), 0.0f);
    EXPECT_EQ(warnings, std::vector<std::string>{kRefused});
}

} // namespace
