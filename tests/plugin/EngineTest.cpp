// The engine and the facade below the plug-in boundary, where the host cannot look.
#include "common/TestSupport.h"
#include "plugin/InternalPlayerInspector.h"
#include "plugin/PlayerLibAV.h"
#include "render/GLWidget.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct RecordingListener : IInternalPlayer::IListener {
    std::vector<int> states; // announced on the engine's owner thread, this one
    void onStateChanged(int s) override { states.push_back(s); }
    void onTimeChanged(int64_t) override {}
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLA_REQUIRE_TEST_ENVIRONMENT();
        view = std::make_unique<GLWidget>();
        view->resize(160, 120);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        engine = std::make_unique<InternalPlayer>(&listener, view.get(), view.get(), false, false);
    }

    RecordingListener listener;
    std::unique_ptr<GLWidget> view; // made once the display is known to be there
    std::unique_ptr<InternalPlayer> engine; // destroyed first
};

} // namespace

// Pictures waiting to be shown take at most 80 MiB: 22 of 1280x720 RGBA, the most (40) of 320x240.
TEST_F(EngineTest, PictureFramesAreBoundedByMemory)
{
    for (const auto &[file, frames] : {std::pair{"fid_untagged_720p.mp4", 22u}, std::pair{"h264_aac.mp4", 40u}}) {
        engine->loadVideo(mediaPath(file));
        ASSERT_EQ(listener.states.back(), Loaded);
        EXPECT_EQ(InternalPlayerInspector::pictureFrames(*engine), frames) << file;
    }
}

TEST_F(EngineTest, AnEndHandlingThatArrivesAfterACommandChangesNothing)
{
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->isPlaying(); }, 10000)) << "the seek's completion was lost";
    EXPECT_GE(engine->currentTime(), 1000u);
    EXPECT_LT(engine->currentTime(), end);
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
    proxy.onTimeChanged(1); // nothing passes within 10 ms of construction
    EXPECT_TRUE(sinceConstruction.elapsed() >= 8 || emitted.load() == 0);

    std::atomic<bool> go{true};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            while (go.load())
                proxy.onTimeChanged(0);
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    go = false;
    for (auto &c : callers)
        c.join();
    const qint64 ms = sinceConstruction.elapsed();
    EXPECT_GE(emitted.load(), 10);
    EXPECT_LE(emitted.load(), int(ms / 11) + 1) << "over " << ms << " ms";
}
