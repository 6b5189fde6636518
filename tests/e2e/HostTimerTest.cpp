// A host timer firing every millisecond issues random commands, deletes
// included, between the test's own. Each library call is fenced: a timer that
// fires inside one means the library ran the host's event loop.
#include "e2e/E2EHost.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <random>

TEST(E2EHostTimer, ATimerFiringEveryMillisecondNeverRunsInsideALibraryCall)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int inside = 0, reentered = 0, timerCommands = 0;
    std::unique_ptr<E2EHost> host;
    // One library call, fenced.
    auto call = [&](const std::function<void(IMediaPlayer2 *)> &command) {
        if (!host || !host->player())
            return;
        ++inside;
        command(host->player());
        --inside;
    };
    const std::vector<std::function<void(IMediaPlayer2 *)>> commands = {
        [](IMediaPlayer2 *p) { p->play(); },
        [](IMediaPlayer2 *p) { p->pause(); },
        [](IMediaPlayer2 *p) { p->stop(); },
        [&](IMediaPlayer2 *p) { p->setCurrentTime(random() % 9000); },
        [](IMediaPlayer2 *p) { p->load(QString::fromStdString(mediaPath("h264_aac.mp4"))); },
        [](IMediaPlayer2 *p) { p->load(QString::fromStdString(mediaPath("seconds.mp4"))); },
        [](IMediaPlayer2 *p) { p->setRenderMode(p->renderMode() == 0 ? 3 : 0); },
        [](IMediaPlayer2 *p) { (void)p->currentTime(); },
    };
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        reentered += inside > 0;
        if (!host || !host->player() || random() % 4 != 0)
            return;
        ++timerCommands;
        if (random() % 60 == 0) {
            ++inside;
            host->destroyPlayer();
            --inside;
        } else {
            call(commands[random() % commands.size()]);
        }
    });
    timer.start();
    // At least a dozen players, and on until the timer has issued 100
    // commands (a sanitizer's slowdown makes rounds slower, not fewer).
    for (int round = 0; round < 60 && (round < 12 || timerCommands < 100); ++round) {
        host = std::make_unique<E2EHost>();
        call([](IMediaPlayer2 *p) { p->setVolume(0.5f); });
        for (int step = 0; step < 12 && host->player(); ++step) {
            call(commands[random() % commands.size()]);
            QTest::qWait(int(random() % 60));
        }
        ++inside;
        host.reset(); // deletes the player if the timer has not
        --inside;
    }
    timer.stop();
    EXPECT_GE(timerCommands, 100);
    EXPECT_EQ(reentered, 0) << "the host's timer ran inside a library call";
}
