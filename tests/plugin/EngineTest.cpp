// The engine and the facade below the plug-in boundary, where the host cannot
// look: what a load makes, refused commands, and the time-event limiter under
// concurrent callers.
#include "common/TestMedia.h"
#include "plugin/InternalPlayerInspector.h"
#include "plugin/PlayerLibAV.h"
#include "render/GLWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QThread>

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace {

struct RecordingListener : IInternalPlayer::IListener {
    std::mutex lock;
    std::vector<int> states;
    std::vector<int64_t> times;
    void onStateChanged(int s) override
    {
        std::lock_guard<std::mutex> g(lock);
        states.push_back(s);
    }
    void onTimeChanged(int64_t ms) override
    {
        std::lock_guard<std::mutex> g(lock);
        times.push_back(ms);
    }
};

QStringList gDebug;
void captureDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        gDebug << message;
}

void pumpFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
        view = std::make_unique<GLWidget>();
        view->resize(160, 120);
        view->show();
        pumpFor(100);
    }
    void TearDown() override { view.reset(); }

    std::unique_ptr<InternalPlayer> makeEngine(bool hardware = false, bool vr = false)
    {
        return std::make_unique<InternalPlayer>(&listener, view.get(), view.get(), hardware, vr);
    }

    RecordingListener listener;
    std::unique_ptr<GLWidget> view;
};

} // namespace

TEST_F(EngineTest, BeforeALoadCommandsAreRefusedSilently)
{
    auto engine = makeEngine(false, true);
    EXPECT_EQ(engine->mode(), IInternalPlayer::VR);
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_EQ(engine->duration(), 0);
    EXPECT_EQ(engine->currentTime(), 0u);
    EXPECT_EQ(engine->videoWidth(), 0);
    EXPECT_EQ(engine->videoDecodeRate(), 0);
    EXPECT_EQ(engine->audioDecodeRate(), 0);
    EXPECT_FALSE(engine->timeUpdatesSuspended());

    gDebug.clear();
    qInstallMessageHandler(captureDebug);
    engine->play();
    engine->pause();
    engine->stop();
    engine->setCurrentTime(1000);
    engine->reserved15();
    engine->reserved16();
    EXPECT_TRUE(listener.states.empty());
    EXPECT_TRUE(listener.times.empty());
    // The engine's debug lines stay quiet unless a logging rule asks for them.
    EXPECT_FALSE(gDebug.contains("setCurrentTime DROPPED 1000")) << gDebug.join("|").toStdString();
    QLoggingCategory::setFilterRules(QStringLiteral("playerlibav.engine.debug=true"));
    engine->setCurrentTime(1000);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(nullptr);
    EXPECT_TRUE(gDebug.contains("setCurrentTime DROPPED 1000")) << gDebug.join("|").toStdString();

    engine->setVolume(50);
    EXPECT_EQ(engine->volume(), 50);
    engine->setVolume(0);
    EXPECT_EQ(engine->volume(), 0);
}

TEST_F(EngineTest, LoadsMakeFramesEachTimeButBuffersAndModesOnce)
{
    auto engine = makeEngine();
    engine->loadVideo(mediaPath("video_only.mp4"));
    ASSERT_EQ(listener.states.back(), Loaded);
    EXPECT_EQ(InternalPlayerInspector::framesMade(*engine), 40u);
    EXPECT_EQ(InternalPlayerInspector::audioBuffersMade(*engine), 0u) << "no sound, no buffers";

    engine->loadVideo(mediaPath("h264_aac.mp4"));
    ASSERT_EQ(listener.states.back(), Loaded);
    EXPECT_EQ(InternalPlayerInspector::framesMade(*engine), 80u);
    EXPECT_EQ(InternalPlayerInspector::audioBuffersMade(*engine), 120u);
    AbstractMode *normal = InternalPlayerInspector::modeObject(*engine, 0);
    ASSERT_NE(normal, nullptr);

    engine->play();
    pumpFor(500);
    engine->loadVideo(mediaPath("h264_aac.mp4"));
    ASSERT_EQ(listener.states.back(), Loaded);
    EXPECT_EQ(InternalPlayerInspector::framesMade(*engine), 120u);
    EXPECT_EQ(InternalPlayerInspector::audioBuffersMade(*engine), 120u);
    EXPECT_EQ(InternalPlayerInspector::modesMade(*engine), 1u);
    EXPECT_EQ(InternalPlayerInspector::modeObject(*engine, 0), normal);

    // Modes: each value asked of the factory once, null entries kept.
    engine->setMode(IInternalPlayer::VR);
    AbstractMode *vr = InternalPlayerInspector::modeObject(*engine, 1);
    engine->setMode(IInternalPlayer::Normal);
    engine->setMode(IInternalPlayer::VR);
    EXPECT_EQ(InternalPlayerInspector::modeObject(*engine, 1), vr);
    engine->setMode(static_cast<IInternalPlayer::Mode>(2));
    EXPECT_EQ(engine->mode(), 2);
    EXPECT_EQ(InternalPlayerInspector::modeObject(*engine, 2), nullptr);
    EXPECT_EQ(InternalPlayerInspector::modeEntries(*engine), 3u);
    engine->setMode(IInternalPlayer::Normal);
    EXPECT_EQ(InternalPlayerInspector::modeObject(*engine, 0), normal);
    EXPECT_EQ(InternalPlayerInspector::modesMade(*engine), vr ? 2u : 1u);
}

TEST_F(EngineTest, AnEndHandlingThatArrivesAfterACommandChangesNothing)
{
    auto engine = makeEngine();
    engine->loadVideo(mediaPath("h264_aac.mp4"));
    ASSERT_EQ(listener.states.back(), Loaded);
    const uint64_t end = uint64_t(engine->duration());
    PlaybackClock &clock = InternalPlayerInspector::clock(*engine);

    // The end is reached and its handling queued; the host pauses first.
    engine->play();
    clock.setPosition(end);
    engine->pause();
    const size_t announced = listener.states.size();
    InternalPlayerInspector::runEndHandling(*engine);
    EXPECT_EQ(listener.states.size(), announced) << "no Finished after the host's pause";
    EXPECT_FALSE(engine->isPlaying());

    // The host seeks back while the handling is queued: the seek is kept.
    engine->play();
    clock.setPosition(end);
    engine->setCurrentTime(1000);
    InternalPlayerInspector::runEndHandling(*engine);
    ASSERT_TRUE(waitUntil([&] { return engine->isPlaying(); }, 10000)) << "the seek's completion was lost";
    EXPECT_GE(engine->currentTime(), 1000u);
    EXPECT_LT(engine->currentTime(), end);

    // Still playing at the end: Finished twice, the clock at the end, standing.
    clock.setPosition(end);
    InternalPlayerInspector::runEndHandling(*engine);
    EXPECT_EQ(engine->currentTime(), end);
    ASSERT_GE(listener.states.size(), 2u);
    EXPECT_EQ(listener.states.back(), Finished);
    EXPECT_EQ(listener.states[listener.states.size() - 2], Finished);
    pumpFor(50);
    EXPECT_EQ(engine->currentTime(), end);
}

TEST_F(EngineTest, DestroyingDuringASeekNeedsNoEventLoop)
{
    // The seek completion is queued for this thread, which does not run its
    // event loop before the engine goes: the demux thread must not wait for it.
    for (int round = 0; round < 3; ++round) {
        auto engine = makeEngine();
        engine->loadVideo(mediaPath("seconds.mp4"));
        ASSERT_EQ(listener.states.back(), Loaded);
        engine->play();
        engine->setCurrentTime(6000);
        QThread::msleep(static_cast<unsigned long>(round * 40));
        engine.reset();
    }
    pumpFor(50); // a completion left in the queue finds nothing to call
}

TEST_F(EngineTest, ConcurrentTimeUpdatesPassAtMostOncePer11Ms)
{
    PlayerLibAV facade(false, false);
    std::atomic<int> emitted{0};
    QObject::connect(&facade, &PlayerLibAV::forwardEventToQtThread, &facade,
                     [&](int code) { emitted += code == EventTimeChanged; }, Qt::DirectConnection);
    QElapsedTimer sinceConstruction;
    sinceConstruction.start();
    PlayerLibAV::ListenerProxy proxy(&facade);
    // Within 10 ms of construction nothing passes (checked only when this
    // thread really was that quick).
    proxy.onTimeChanged(1);
    if (sinceConstruction.elapsed() < 8) {
        EXPECT_EQ(emitted.load(), 0);
    }

    QElapsedTimer t;
    t.start();
    std::atomic<bool> go{true};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            while (go.load())
                proxy.onTimeChanged(0);
        });
    QThread::msleep(400);
    go = false;
    for (auto &c : callers)
        c.join();
    const qint64 ms = t.elapsed();
    EXPECT_GE(emitted.load(), 10);
    EXPECT_LE(emitted.load(), int(ms / 11) + 1) << "over " << ms << " ms";
}

TEST_F(EngineTest, FacadeMetaObjectIsWhatHostsLookUp)
{
    PlayerLibAV facade(false, false);
    const QMetaObject *meta = facade.metaObject();
    EXPECT_STREQ(meta->className(), "PlayerLibAV");
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 2);
    const QMetaMethod signal = meta->method(meta->methodOffset());
    const QMetaMethod slot = meta->method(meta->methodOffset() + 1);
    EXPECT_EQ(signal.methodSignature(), "forwardEventToQtThread(int)");
    EXPECT_EQ(signal.methodType(), QMetaMethod::Signal);
    EXPECT_EQ(slot.methodSignature(), "onEventFromInternalPlayer(int)");
    EXPECT_EQ(slot.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(slot.access(), QMetaMethod::Private);
    EXPECT_EQ(meta->propertyCount() - meta->propertyOffset(), 0);

    EXPECT_EQ(facade.qt_metacast("PlayerLibAV"), static_cast<void *>(&facade));
    EXPECT_EQ(facade.qt_metacast("IMediaPlayer2"), static_cast<void *>(static_cast<IMediaPlayer2 *>(&facade)));
    EXPECT_EQ(facade.qt_metacast("QObject"), static_cast<void *>(static_cast<QObject *>(&facade)));
    EXPECT_EQ(facade.qt_metacast("GLWidget"), nullptr);
}
