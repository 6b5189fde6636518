// QtAudioPlayer playing into the PulseAudio null sink, checked by recording the
// sink's monitor.
#include "AudioTestSupport.h"
#include "audio/AwaitInThread.h"
#include "audio/QtAudioPlayer.h"
#include "common/SoundRecorder.h"
#include "common/TestMedia.h"

#include <QAudioOutput>
#include <QPointer>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr AudioOutputFormat kFormat{3, 3, 44100, 4};
// A sine of amplitude a has an RMS of a / sqrt(2).
constexpr double kFullRms = 0.5 / 1.4142135623730951;

class TestPlayer : public QtAudioPlayer {
public:
    TestPlayer(AudioQueues &q) : QtAudioPlayer(kFormat, &q.ready, &q.pool) {}
    TestPlayer(AudioQueues &q, FormatCheck check) : QtAudioPlayer(kFormat, &q.ready, &q.pool, std::move(check)) {}
    using QtAudioPlayer::audioOutput;
};

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
        // Every buffer ends up idle again: the device gives back the one in play.
        delete player;
        flushReady(queues.ready, queues.pool);
        EXPECT_EQ(queues.pool.size(), kBufferCount);
    }

    void feedFor(int ms) { pumpEvents(ms, [this] { feeder.feed(); }); }
    uint32_t buffersOutside() { return kBufferCount - queues.pool.size() - queues.ready.size(); }
    QAudio::State outputState() { return player->audioOutput()->state(); }

    // Stops recording and prints the level and pitch per 100 ms when a check fails.
    void finishRecording()
    {
        pumpEvents(300);
        recorder.stop();
        ASSERT_GT(recorder.duration(), 1.0);
    }
    std::string profile() const
    {
        std::string text;
        const std::vector<double> hz = recorder.frequencyOverTime(0.1);
        for (size_t i = 0; i < hz.size(); ++i)
            text += std::to_string(i / 10.0).substr(0, 4) + "s rms " + std::to_string(recorder.rms(i / 10.0, (i + 1) / 10.0)) +
                    " " + std::to_string(int(hz[i])) + " Hz\n";
        return text;
    }

    AudioQueues queues;
    ToneFeeder feeder{queues};
    TestPlayer *player = nullptr;
    SoundRecorder recorder;
};

// Starts silent (volume 0 after construction) while buffers are consumed, then
// plays the tone at its own level, then at half the amplitude.
TEST_F(QtAudioPlayerTest, PlaysQueuedToneAtTheVolumeSet)
{
    EXPECT_FLOAT_EQ(player->volume(), 0.0f);
    feeder.feed();
    player->play();
    feedFor(1000);
    EXPECT_GT(queues.pool.size() + buffersOutside(), 0u) << "nothing was pulled at volume 0";
    player->setVolume(1.0f);
    EXPECT_NEAR(player->volume(), 1.0f, 1e-4);
    feedFor(1300);
    player->setVolume(0.5f);
    feedFor(1300);
    feeder.enabled = false;
    finishRecording();
    SCOPED_TRACE(profile());

    const double start = recorder.soundStart();
    ASSERT_GE(start, 0.0);
    // The level drops where the volume was halved; at volume 0 nothing was heard,
    // so the full-level part lasts only as long as the second phase.
    double half = -1.0;
    for (double t = start; t < recorder.duration() && half < 0; t += 0.01) {
        if (recorder.level(t, t + 0.3) < 0.27)
            half = t;
    }
    ASSERT_GT(half, start);
    EXPECT_NEAR(half - start, 1.3, 0.45);

    const double full = recorder.level(start + 0.2, half - 0.2);
    EXPECT_NEAR(full, kFullRms, 0.1 * kFullRms);
    EXPECT_NEAR(recorder.peak(start + 0.2, half - 0.2), 0.5, 0.05);
    EXPECT_NEAR(recorder.tone(start + 0.2, half - 0.2), 440.0, 3.0);

    const double halved = recorder.level(half + 0.2, half + 0.9);
    EXPECT_NEAR(halved / full, 0.5, 0.05);
    EXPECT_NEAR(recorder.tone(half + 0.2, half + 0.9), 440.0, 3.0);
}

TEST_F(QtAudioPlayerTest, HoldGivesSilenceAlthoughBuffersAreQueued)
{
    player->setVolume(1.0f);
    queues.ready.setOnHold(true);
    feeder.feed();
    const uint32_t queued = queues.ready.size();
    player->play();
    pumpEvents(1200);
    EXPECT_EQ(queues.ready.size(), queued);
    EXPECT_EQ(outputState(), QAudio::ActiveState) << "silence keeps the output running";

    queues.ready.setOnHold(false);
    feedFor(1000);
    finishRecording();
    SCOPED_TRACE(profile());

    const double start = recorder.soundStart();
    ASSERT_GE(start, 0.0);
    EXPECT_GE(start, 0.6);
    EXPECT_NEAR(recorder.tone(start + 0.1, start + 0.8), 440.0, 3.0);
}

TEST_F(QtAudioPlayerTest, PauseSuspendsAndPlayResumesTheSameOutput)
{
    player->setVolume(1.0f);
    feeder.feed();
    player->play();
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
    ASSERT_FALSE(output.isNull());
    EXPECT_EQ(player->audioOutput(), output.data());
    // A restarted output would count from zero again.
    EXPECT_GT(output->processedUSecs(), playedBeforePause + 300000);
    feeder.enabled = false;
    finishRecording();
    SCOPED_TRACE(profile());

    const double firstStart = recorder.soundStart();
    const double firstEnd = recorder.soundEnd();
    ASSERT_GT(firstEnd, firstStart);
    const double secondStart = recorder.soundStart(firstEnd);
    ASSERT_GT(secondStart, firstEnd);
    EXPECT_GT(secondStart - firstEnd, 0.6);
    EXPECT_NEAR(recorder.tone(secondStart + 0.1, secondStart + 0.6), 440.0, 3.0);
}

// What the engine does when the position jumps: flush the output, empty the
// ready queue into the pool, queue sound of the new position and play.
TEST_F(QtAudioPlayerTest, FlushDropsWhatWasBuffered)
{
    player->setVolume(1.0f);
    feeder.keepQueued = 100;
    feeder.feed();
    player->play();
    feedFor(800);
    // What the output has taken from the device so far, heard or still in its buffer.
    const double handedOut = player->audioOutput()->processedUSecs() / 1e6;
    player->flush();
    EXPECT_EQ(buffersOutside(), 0u) << "the buffer in play goes back to the pool";
    flushReady(queues.ready, queues.pool);
    pumpEvents(600);
    feeder.hz = 880.0;
    feeder.keepQueued = 20;
    feeder.feed();
    player->play();
    feedFor(800);
    feeder.enabled = false;
    finishRecording();
    SCOPED_TRACE(profile());

    const double lowStart = recorder.soundStart();
    const double lowEnd = recorder.soundEnd();
    ASSERT_GT(lowEnd, lowStart);
    EXPECT_NEAR(recorder.tone(lowStart + 0.1, lowEnd - 0.1), 440.0, 3.0);
    // The output's own buffer (a quarter of a second here) was thrown away
    // rather than played out.
    EXPECT_LT(recorder.soundDuration(lowStart, lowEnd), handedOut - 0.08);

    const double highStart = recorder.soundStart(lowEnd);
    ASSERT_GT(highStart, lowEnd);
    EXPECT_NEAR(recorder.tone(highStart + 0.1, highStart + 0.6), 880.0, 3.0);
    // Nothing of the dropped sound comes back once the new sound plays.
    for (double t = highStart; t + 0.1 <= recorder.duration(); t += 0.1)
        EXPECT_GT(std::fabs(recorder.tone(t, t + 0.1) - 440.0), 5.0) << "440 Hz at " << t << " s";
}

TEST_F(QtAudioPlayerTest, StopRebuildsTheOutputAndPlayStartsIt)
{
    player->setVolume(1.0f);
    feeder.feed();
    player->play();
    feedFor(700);
    QPointer<QAudioOutput> old = player->audioOutput();
    player->stop();
    EXPECT_TRUE(old.isNull());
    ASSERT_NE(player->audioOutput(), nullptr);
    EXPECT_EQ(outputState(), QAudio::StoppedState);
    EXPECT_NEAR(player->volume(), 1.0f, 1e-4) << "the rebuilt output keeps the volume set";
    EXPECT_EQ(buffersOutside(), 0u);
    feedFor(700);

    player->play();
    EXPECT_NE(outputState(), QAudio::StoppedState);
    feedFor(800);
    feeder.enabled = false;
    finishRecording();
    SCOPED_TRACE(profile());

    const double firstEnd = recorder.soundEnd();
    ASSERT_GT(firstEnd, 0.0);
    const double secondStart = recorder.soundStart(firstEnd);
    ASSERT_GT(secondStart, firstEnd);
    EXPECT_GT(secondStart - firstEnd, 0.4);
    EXPECT_NEAR(recorder.level(secondStart + 0.1, secondStart + 0.6), kFullRms, 0.1 * kFullRms);
}

// The engine calls play from its own threads; the output is started on the
// thread that owns the player, which must run an event loop.
TEST_F(QtAudioPlayerTest, PlayFromAnotherThreadStartsTheOutputOnThePlayersThread)
{
    delete player;
    player = nullptr;
    QThread owner;
    owner.start();
    TestPlayer *remote = nullptr;
    awaitInThread(&owner, [&] {
        remote = new TestPlayer(queues);
        remote->setVolume(1.0f);
    });
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(remote->thread(), &owner);

    feeder.feed();
    remote->play();
    EXPECT_NE(remote->audioOutput()->state(), QAudio::StoppedState);
    feedFor(1000);
    feeder.enabled = false;
    awaitInThread(&owner, [&] { delete remote; });
    owner.quit();
    owner.wait();
    finishRecording();
    SCOPED_TRACE(profile());

    const double start = recorder.soundStart();
    ASSERT_GE(start, 0.0);
    EXPECT_NEAR(recorder.tone(start + 0.2, start + 0.7), 440.0, 3.0);
    flushReady(queues.ready, queues.pool);
    EXPECT_EQ(queues.pool.size(), kBufferCount);
}

std::vector<std::string> capturedWarnings;
void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings.push_back(message.toStdString());
}

TEST(QtAudioPlayerRefusedFormatTest, WarnsAndLeavesAPlayerThatDoesNothing)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh (PulseAudio null sink)";
    AudioQueues queues;
    ToneFeeder feeder(queues);
    capturedWarnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    {
        TestPlayer player(queues, [](const QAudioDeviceInfo &, const QAudioFormat &) { return false; });
        EXPECT_EQ(player.audioOutput(), nullptr);
        EXPECT_STREQ(player.metaObject()->className(), "QtAudioPlayer");
        EXPECT_EQ(player.qt_metacast("IAudioPlayer"), static_cast<void *>(static_cast<IAudioPlayer *>(&player)));
        player.setVolume(0.8f);
        EXPECT_FLOAT_EQ(player.volume(), 0.0f);
        feeder.feed();
        player.play();
        pumpEvents(300);
        EXPECT_EQ(queues.ready.size(), 20u) << "nobody drains the queue";
        player.pause();
        player.flush();
        player.stop();
        EXPECT_EQ(player.audioOutput(), nullptr);
        const AudioOutputFormat format = player.format();
        EXPECT_EQ(format.sampleRate, 44100);
        EXPECT_EQ(format.bytesPerSample, 4);
    }
    qInstallMessageHandler(previous);
    ASSERT_FALSE(capturedWarnings.empty());
    EXPECT_EQ(capturedWarnings.front(), "Raw audio format not supported by backend, cannot play audio.");
    EXPECT_EQ(capturedWarnings.size(), 1u) << "without an output stop does not rebuild";
    flushReady(queues.ready, queues.pool);
    EXPECT_EQ(queues.pool.size(), kBufferCount);
}

// A rebuild that the device refuses keeps the output that was there.
TEST(QtAudioPlayerRefusedFormatTest, RefusedRebuildKeepsThePreviousOutput)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh (PulseAudio null sink)";
    AudioQueues queues;
    bool accept = true;
    TestPlayer player(queues, [&](const QAudioDeviceInfo &, const QAudioFormat &) { return accept; });
    QPointer<QAudioOutput> output = player.audioOutput();
    ASSERT_FALSE(output.isNull());
    player.setVolume(0.25f);
    accept = false;
    capturedWarnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    player.stop();
    qInstallMessageHandler(previous);
    EXPECT_EQ(capturedWarnings.size(), 1u);
    EXPECT_FALSE(output.isNull());
    EXPECT_EQ(player.audioOutput(), output.data());
    EXPECT_NEAR(player.volume(), 0.25f, 1e-4);
}

// The real backend refuses a format it cannot describe.
TEST(QtAudioPlayerRefusedFormatTest, BackendRefusesARateOfZero)
{
    if (!haveTestEnvironment())
        GTEST_SKIP() << "needs tools/test-env.sh (PulseAudio null sink)";
    AudioQueues queues;
    capturedWarnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    QtAudioPlayer player({3, 3, 0, 4}, &queues.ready, &queues.pool);
    qInstallMessageHandler(previous);
    EXPECT_FLOAT_EQ(player.volume(), 0.0f);
    EXPECT_EQ(capturedWarnings, std::vector<std::string>{"Raw audio format not supported by backend, cannot play audio."});
}

} // namespace
