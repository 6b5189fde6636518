// Events, statistics and load failures as a host sees them.
#include "common/TestMedia.h"
#include "e2e/E2EHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

std::vector<int> codesFrom(const E2EHost &host, size_t from)
{
    std::vector<int> codes;
    for (size_t i = from; i < host.events().size(); ++i)
        codes.push_back(host.events()[i].code);
    return codes;
}

std::vector<int> withoutTimes(std::vector<int> codes)
{
    codes.erase(std::remove(codes.begin(), codes.end(), int(EventTimeChanged)), codes.end());
    return codes;
}

class E2EEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh";
    }
};

} // namespace

TEST_F(E2EEvents, PlaybackRaisesTheDocumentedSequences)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    EXPECT_FALSE(p->isPlaying());
    EXPECT_TRUE(p->isPaused());
    EXPECT_TRUE(p->isStopped());
    EXPECT_EQ(p->duration(), 0);
    EXPECT_EQ(p->renderMode(), 0);

    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    EXPECT_EQ(codesFrom(host, 0), std::vector<int>{EventLoaded});
    EXPECT_NEAR(double(p->duration()), 4000.0, 100.0);
    EXPECT_EQ(p->videoWidth(), 320);
    EXPECT_EQ(p->videoHeight(), 240);

    // Commands are synchronous: their state event arrives before they return.
    size_t mark = host.events().size();
    p->play();
    ASSERT_GT(host.events().size(), mark);
    EXPECT_EQ(host.events()[mark].code, EventPlaying);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_FALSE(p->isPaused());

    // Time events come from the ticker, thinned to at most one per 11 ms.
    const qint64 windowStart = host.nowUs();
    mark = host.events().size();
    pump(1000);
    const qint64 windowUs = host.nowUs() - windowStart;
    const int times = host.count(EventTimeChanged);
    EXPECT_GT(times, 20);
    EXPECT_LE(times, int(windowUs / 11000) + 2);
    EXPECT_GT(p->currentTime(), 500u);

    mark = host.events().size();
    p->pause();
    EXPECT_EQ(codesFrom(host, mark), std::vector<int>{EventPaused});
    pump(100); // let queued time events drain
    const uint64_t pausedAt = p->currentTime();
    mark = host.events().size();
    pump(400);
    EXPECT_EQ(codesFrom(host, mark), std::vector<int>{}) << "no time events while paused";
    EXPECT_EQ(p->currentTime(), pausedAt);

    // Stop from Paused: EventStopped, then the time event of position 0.
    mark = host.events().size();
    p->stop();
    EXPECT_EQ(codesFrom(host, mark), (std::vector<int>{EventStopped, EventTimeChanged}));
    EXPECT_EQ(p->currentTime(), 0u);
    mark = host.events().size();
    p->stop();
    p->pause();
    EXPECT_EQ(codesFrom(host, mark), std::vector<int>{}) << "refused commands are silent";

    // The end: EventFinished twice, then play starts again from 0.
    p->play();
    ASSERT_TRUE(host.waitForEvent(EventFinished, 15000, mark));
    pump(300);
    std::vector<int> tail = withoutTimes(codesFrom(host, mark));
    EXPECT_EQ(tail, (std::vector<int>{EventPlaying, EventFinished, EventFinished}));
    EXPECT_FALSE(p->isPlaying());
    EXPECT_GE(p->currentTime(), uint64_t(p->duration()) - 50);

    mark = host.events().size();
    p->play();
    EXPECT_EQ(host.events()[mark].code, EventPlaying);
    pump(300);
    EXPECT_LT(p->currentTime(), 2000u);
    EXPECT_TRUE(p->isPlaying());

    for (const auto &e : host.events())
        EXPECT_NE(e.code, 4);
}

TEST_F(E2EEvents, SeekingAnnouncesTheStateItLeft)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);

    // From Loaded: it ends Paused, so a host that plays on EventLoaded does
    // not start; the position is at the target at once.
    size_t mark = host.events().size();
    p->setCurrentTime(2000);
    EXPECT_EQ(p->currentTime(), 2000u);
    ASSERT_TRUE(host.waitForEvent(EventPaused, 10000, mark));
    EXPECT_EQ(withoutTimes(codesFrom(host, mark)), std::vector<int>{EventPaused});
    EXPECT_FALSE(p->isPlaying());
    EXPECT_EQ(p->currentTime(), 2000u) << "the clock does not run after a seek from Loaded";

    p->play();
    pump(300);
    mark = host.events().size();
    p->setCurrentTime(5000);
    // A second seek before the first completes is refused; nothing breaks.
    p->setCurrentTime(1000);
    ASSERT_TRUE(host.waitForEvent(EventPlaying, 10000, mark));
    EXPECT_TRUE(p->isPlaying());
    pump(200);
    EXPECT_GE(p->currentTime(), 5000u);
    EXPECT_LT(p->currentTime(), 7000u);
}

TEST_F(E2EEvents, FailedLoadsKeepThePathAndALaterLoadWorks)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    // Garbage bytes under a name no demuxer claims: FFmpeg's "bin" demuxer
    // takes garbage.bin itself for its extension and opens it as a picture.
    const std::string garbage = std::string(PLA_BINARY_DIR) + "/e2e_garbage.dat";
    {
        std::ifstream in(mediaPath("garbage.bin"), std::ios::binary);
        std::ofstream out(garbage, std::ios::binary);
        out << in.rdbuf();
    }
    const std::vector<std::string> bad = {mediaPath("no_such_file.mp4"), garbage, mediaPath("audio_only.m4a")};
    for (const std::string &path : bad) {
        SCOPED_TRACE(path);
        const size_t mark = host.events().size();
        EXPECT_EQ(host.loadAndWait(path), EventLoadFailed);
        EXPECT_EQ(codesFrom(host, mark), std::vector<int>{EventLoadFailed});
        EXPECT_EQ(p->filePath(), QString::fromStdString(path));
        EXPECT_EQ(p->duration(), 0);
        EXPECT_EQ(p->videoWidth(), 0);
        const PlayerStatistics s = p->statistics();
        EXPECT_EQ(s.videoDecodeRate, 0);
        EXPECT_EQ(s.audioDecodeRate, 0);
        // Refused in LoadFailed, silently.
        p->play();
        p->setCurrentTime(1000);
        EXPECT_EQ(codesFrom(host, mark), std::vector<int>{EventLoadFailed});
    }
    EXPECT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    p->play();
    EXPECT_TRUE(p->isPlaying());
}

TEST_F(E2EEvents, CommandsFromInsideTheLoadedCallbackWork)
{
    int loadedSeen = 0;
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    p->addListener([&](int code) {
        if (code != EventLoaded)
            return;
        // The first load plays at once, the second seeks and then stops.
        if (++loadedSeen == 1) {
            p->play();
        } else {
            p->setCurrentTime(1500);
            p->stop();
        }
    });
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    EXPECT_TRUE(p->isPlaying());
    ASSERT_TRUE(waitFor([&] { return p->currentTime() > 800; }, 10000));
    EXPECT_GT(p->statistics().videoDecodeRate + host.count(EventTimeChanged), 0);

    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    pump(500);
    EXPECT_FALSE(p->isPlaying());
    // The engine still answers commands normally afterwards.
    p->play();
    EXPECT_TRUE(p->isPlaying());
    pump(300);
    EXPECT_GT(p->currentTime(), 0u);
}

TEST_F(E2EEvents, CallbacksAddedDuringDeliveryWaitForTheNextEvent)
{
    std::vector<int> late;
    int adds = 0;
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    p->addListener([&](int code) {
        if (code == EventLoaded && adds++ < 50) // many, so the vector must grow
            p->addListener([&late](int c) { late.push_back(c); });
    });
    ASSERT_EQ(host.loadAndWait(mediaPath("h264_aac.mp4")), EventLoaded);
    EXPECT_TRUE(late.empty()) << "callbacks added while EventLoaded is delivered do not hear it";
    p->play();
    EXPECT_EQ(late.size(), 1u) << "one added callback per EventLoaded delivery";
    EXPECT_EQ(late.front(), EventPlaying);
}

TEST_F(E2EEvents, StatisticsFollowDecodingAndPainting)
{
    E2EHost host("CreateSw", /*show=*/false);
    IMediaPlayer2 *p = host.player();
    PlayerStatistics s = p->statistics();
    EXPECT_EQ(s.videoDecodeRate, 0);
    EXPECT_EQ(s.audioDecodeRate, 0);
    EXPECT_EQ(s.renderRate, 0);

    host.showWindow();
    ASSERT_EQ(host.loadAndWait(mediaPath("seconds.mp4")), EventLoaded);
    p->play();
    // seconds.mp4: 30 pictures and about 43 AAC frames a second.
    EXPECT_TRUE(waitFor(
        [&] {
            s = p->statistics();
            return s.videoDecodeRate >= 15 && s.videoDecodeRate <= 50 && s.audioDecodeRate >= 20 &&
                   s.audioDecodeRate <= 70 && s.renderRate > 0;
        },
        6000))
        << "video " << s.videoDecodeRate << " audio " << s.audioDecodeRate << " render " << s.renderRate;
}

TEST_F(E2EEvents, VolumeAndRenderModeAreMappedAtTheBoundary)
{
    E2EHost host;
    IMediaPlayer2 *p = host.player();
    p->setVolume(0.5f);
    EXPECT_FLOAT_EQ(p->volume(), 0.5f);
    p->setVolume(1.5f);
    EXPECT_FLOAT_EQ(p->volume(), 1.0f);
    p->setVolume(-0.2f);
    EXPECT_FLOAT_EQ(p->volume(), 0.0f);
    p->setVolume(0.999f);
    EXPECT_NEAR(p->volume(), 0.99f, 1e-6);

    p->setRenderMode(2);
    EXPECT_EQ(p->renderMode(), 2);
    p->setRenderMode(1);
    EXPECT_EQ(p->renderMode(), 1);
    p->setRenderMode(7);
    EXPECT_EQ(p->renderMode(), 1) << "codes outside 0..3 are ignored";
    p->setRenderMode(0);
    EXPECT_EQ(p->renderMode(), 0);

    E2EHost vr("CreateHwVr");
    EXPECT_EQ(vr.player()->renderMode(), 3);
}
