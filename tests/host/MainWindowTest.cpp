// The player window driven in-process with the real plug-in under the test display:
// keys and menus reach the player, the labels follow it, a failed load is shown,
// and the window can be torn down around the plug-in's widget.
#include "IMediaPlayer2.h"
#include "MainWindow.h"
#include "PluginLoader.h"
#include "common/GlDriverPin.h"
#include "common/TestMedia.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh (display and sound server)";
        static PluginLoader loader; // stays loaded, as in player-host
        if (loader.fileName().isEmpty()) {
            ASSERT_TRUE(loader.load(PluginLoader::defaultPath())) << loader.errorString().toStdString();
        }
        IMediaPlayer2 *player = loader.create(PluginLoader::Factory::Sw);
        ASSERT_NE(player, nullptr);
        window = std::make_unique<MainWindow>(player);
        window->setErrorDialogs(false);
        spy = std::make_unique<QSignalSpy>(window.get(), &MainWindow::playerEvent);
        window->resize(640, 420);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
    }

    void TearDown() override
    {
        spy.reset();
        window.reset();
    }

    int count(int code) const
    {
        int n = 0;
        for (const QList<QVariant> &args : *spy)
            n += args.at(0).toInt() == code;
        return n;
    }

    // Waits (event loop running) until event code has arrived `times` times in all.
    bool waitFor(int code, int times = 1, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return count(code) >= times; }, timeoutMs);
    }

    void key(Qt::Key k) { QTest::keyClick(window.get(), k); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> spy;
};

TEST_F(MainWindowTest, KeysDrivePlaybackAndTheLabelsFollow)
{
    IMediaPlayer2 *player = window->player();
    window->openFile(QString::fromStdString(mediaPath("seconds.mp4")), false);
    ASSERT_EQ(count(EventLoaded), 1);
    EXPECT_EQ(window->durationText(), QStringLiteral("0:08"));
    EXPECT_EQ(window->positionText(), QStringLiteral("0:00"));
    auto *slider = window->findChild<QSlider *>();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->maximum(), 8000);

    key(Qt::Key_Space);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(window->findChild<QPushButton *>()->text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitFor(EventTimeChanged));

    key(Qt::Key_Right);
    const uint64_t forward = player->currentTime();
    EXPECT_GE(forward, 5000u);
    EXPECT_LT(forward, 7000u);
    ASSERT_TRUE(waitFor(EventPlaying, 2)) << "the seek did not complete";
    ASSERT_TRUE(waitFor(EventTimeChanged, count(EventTimeChanged) + 2));
    EXPECT_GE(slider->value(), 5000) << "the slider follows the time events";

    key(Qt::Key_Left);
    EXPECT_LT(player->currentTime(), forward);
    ASSERT_TRUE(waitFor(EventPlaying, 3));

    key(Qt::Key_Space);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(count(EventPaused), 1);
    EXPECT_EQ(window->findChild<QPushButton *>()->text(), QStringLiteral("Play"));

    // The screenshot is the video's picture at the widget's size: seconds.mp4 shows
    // one saturated colour per second.
    QTest::qWait(300);
    const QImage shot = window->grabVideo();
    ASSERT_EQ(shot.size(), window->videoWidget()->size());
    const QColor centre = shot.pixelColor(shot.width() / 2, shot.height() / 2);
    EXPECT_GT(std::max({centre.red(), centre.green(), centre.blue()}), 200)
        << centre.name().toStdString() << " at " << player->currentTime() << " ms";

    key(Qt::Key_S);
    EXPECT_EQ(count(EventStopped), 1);
    EXPECT_EQ(player->currentTime(), 0u);
}

TEST_F(MainWindowTest, FullScreenHidesTheControlsAndEscapeBringsThemBack)
{
    key(Qt::Key_F);
    EXPECT_TRUE(window->windowState() & Qt::WindowFullScreen);
    EXPECT_FALSE(window->menuBar()->isVisible());
    EXPECT_FALSE(window->statusBar()->isVisible());
    EXPECT_TRUE(window->videoWidget()->isVisible());

    key(Qt::Key_Escape);
    EXPECT_FALSE(window->windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(window->menuBar()->isVisible());
    EXPECT_TRUE(window->findChild<QSlider *>()->isVisible());
}

TEST_F(MainWindowTest, RenderModeMenuAndVolumeSliderReachThePlayer)
{
    IMediaPlayer2 *player = window->player();
    QList<QAction *> modes;
    for (QAction *action : window->findChildren<QAction *>())
        if (action->isCheckable() && action->data().isValid())
            modes.append(action);
    ASSERT_EQ(modes.size(), 4);
    for (QAction *action : modes) {
        action->trigger();
        const int code = action->data().toInt();
        EXPECT_EQ(player->renderMode(), code);
        for (QAction *other : modes)
            EXPECT_EQ(other->isChecked(), other == action) << "after choosing mode " << code;
    }

    QSlider *volume = nullptr;
    for (QSlider *s : window->findChildren<QSlider *>())
        if (s->maximum() == 100)
            volume = s;
    ASSERT_NE(volume, nullptr);
    volume->setValue(50);
    EXPECT_FLOAT_EQ(player->volume(), 0.5f);
    volume->setValue(0);
    EXPECT_FLOAT_EQ(player->volume(), 0.0f);
}

TEST_F(MainWindowTest, AFailedLoadIsShownAndTheWindowClosesCleanly)
{
    window->setErrorDialogs(true);
    const QString missing = QStringLiteral("/nonexistent/clip.mp4");
    window->openFile(missing, true);
    ASSERT_EQ(count(EventLoadFailed), 1);
    EXPECT_EQ(count(EventPlaying), 0);
    EXPECT_TRUE(window->statusBar()->currentMessage().contains(missing));
    auto *box = window->findChild<QMessageBox *>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QStringLiteral("could not be opened")));
    box->close();

    // A file after the failure plays; then the window goes while playing.
    window->openFile(QString::fromStdString(mediaPath("seconds.mp4")), true);
    ASSERT_TRUE(waitFor(EventPlaying));
    ASSERT_TRUE(waitFor(EventTimeChanged, 10));
    QPointer<QWidget> video = window->videoWidget();
    EXPECT_EQ(video->window(), window.get());
    spy.reset();
    window.reset();
    EXPECT_TRUE(video.isNull()) << "the player deletes its widget";
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    pinGlDriver();
    return status;
}
