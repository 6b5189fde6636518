// The player window driven in-process with the real plug-in. What the player
// does with the commands (events, seeks) is e2e_playback's.
#include "IMediaPlayer2.h"
#include "MainWindow.h"
#include "PluginLoader.h"
#include "common/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLA_REQUIRE_TEST_ENVIRONMENT();
        static PluginLoader loader; // stays loaded, as in player-host
        ASSERT_TRUE(!loader.fileName().isEmpty() || loader.load(PluginLoader::defaultPath()))
            << loader.errorString().toStdString();
        IMediaPlayer2 *created = loader.create(PluginLoader::Factory::Sw);
        ASSERT_NE(created, nullptr);
        window = std::make_unique<MainWindow>(created);
        window->setErrorDialogs(false);
        spy = std::make_unique<QSignalSpy>(window.get(), &MainWindow::playerEvent);
        window->resize(640, 420);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
        player = window->player();
    }

    int count(int code) const
    {
        return int(std::count_if(spy->begin(), spy->end(), [&](const QList<QVariant> &a) { return a[0] == code; }));
    }
    // Waits (event loop running) until event code has arrived `times` times in all.
    bool waitFor(int code, int times = 1) { return QTest::qWaitFor([&] { return count(code) >= times; }, 10000); }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(window.get(), k, modifiers); }
    int volumePercent() const { return qRound(player->volume() * 100); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> spy; // declared after window: goes first
    IMediaPlayer2 *player = nullptr;
    const QString clip = QString::fromStdString(mediaPath("seconds.mp4"));
};

TEST_F(MainWindowTest, KeysDrivePlaybackAndFullScreenAndTheLabelsFollow)
{
    window->openFile(clip, false);
    ASSERT_EQ(count(EventLoaded), 1);
    EXPECT_EQ(window->durationText() + " " + window->positionText(), QStringLiteral("0:08 0:00"));
    auto *slider = window->findChild<QSlider *>();
    auto *button = window->findChild<QPushButton *>();
    EXPECT_EQ(slider->maximum(), 8000);

    key(Qt::Key_Space);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(button->text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitFor(EventTimeChanged));
    const uint64_t before = player->currentTime();
    key(Qt::Key_Right);
    const uint64_t forward = player->currentTime();
    EXPECT_TRUE(forward >= before + 5000 && forward < before + 5500) << before << " to " << forward;
    EXPECT_TRUE(QTest::qWaitFor([&] { return slider->value() >= 5000; }, 10000)) << "the slider follows the time";
    ASSERT_TRUE(waitFor(EventPlaying, 2)) << "the seek did not complete";
    key(Qt::Key_Left);
    EXPECT_LT(player->currentTime(), forward);
    ASSERT_TRUE(waitFor(EventPlaying, 3));
    key(Qt::Key_Space);
    EXPECT_EQ(count(EventPaused), 1);
    EXPECT_EQ(button->text(), QStringLiteral("Play"));
    key(Qt::Key_S);
    EXPECT_EQ(count(EventStopped), 1);

    // In by F, out by a double-click, in by a double-click, out by Escape
    // (Key_unknown: double-click): the bars go and the video fills the screen.
    const QSize screen = window->screen()->geometry().size(), normal = window->geometry().size();
    QWidget *video = window->videoWidget();
    QWidget *bars[] = {window->menuBar(), window->statusBar(), slider};
    for (const Qt::Key k : {Qt::Key_F, Qt::Key_unknown, Qt::Key_unknown, Qt::Key_Escape}) {
        const bool enter = !window->isFullScreen();
        k == Qt::Key_unknown ? QTest::mouseDClick(video, Qt::LeftButton) : key(k);
        EXPECT_EQ(window->isFullScreen(), enter) << k;
        for (QWidget *bar : bars)
            EXPECT_NE(bar->isVisible(), enter) << k;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return enter ? video->size() == screen : window->geometry().size() == normal; }, 5000));
    }
}

TEST_F(MainWindowTest, MenusSlidersKeysWheelAndDialogsReachThePlayer)
{
    // The render-mode menu offers only the modes that show a picture.
    QList<QAction *> modes;
    QStringList names;
    for (QAction *action : window->findChildren<QAction *>())
        if (action->isCheckable() && action->data().isValid())
            names.append((modes << action).last()->text());
    ASSERT_EQ(names, QStringList({QStringLiteral("Flat"), QStringLiteral("360° / VR")}));
    for (QAction *action : {modes[1], modes[0]}) {
        action->trigger();
        EXPECT_EQ(player->renderMode(), action->data().toInt());
        EXPECT_TRUE(action->isChecked() && !modes[action == modes[0] ? 1 : 0]->isChecked());
    }

    window->openFile(clip, true);
    ASSERT_TRUE(waitFor(EventPlaying));
    QSlider *volume = window->findChildren<QSlider *>().last();
    volume->setValue(50);
    EXPECT_EQ(volumePercent(), 50);
    volume->setValue(100);
    // Down, mute, unmute (the volume comes back), mute, Up (unmutes).
    const std::pair<Qt::Key, int> volumeKeys[] = {
        {Qt::Key_Down, 90}, {Qt::Key_M, 0}, {Qt::Key_M, 90}, {Qt::Key_M, 0}, {Qt::Key_Up, 100}};
    for (const auto &[k, percent] : volumeKeys) {
        key(k);
        EXPECT_EQ(volumePercent(), percent) << k;
        EXPECT_EQ(window->isMuted(), percent == 0);
        EXPECT_EQ(window->statusText().contains(QStringLiteral("muted")), percent == 0);
    }

    // Two notches down, in steps smaller than a notch as touchpads send them;
    // in the 360° mode the wheel is the view's.
    const auto wheel = [&](int angleDelta) {
        QWidget *video = window->videoWidget();
        const QPointF centre(video->width() / 2.0, video->height() / 2.0);
        QWheelEvent event(centre, video->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, angleDelta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(video, &event);
    };
    for (int i = 0; i < 4; ++i)
        wheel(-60);
    EXPECT_EQ(volumePercent(), 90);
    window->setRenderMode(RenderModeVR);
    wheel(-240);
    EXPECT_EQ(volumePercent(), 90);
    window->setRenderMode(RenderModeNormal);
    EXPECT_TRUE(window->statusText().startsWith(QStringLiteral("Playing"))) << window->statusText().toStdString();
    EXPECT_FALSE(window->statusText().contains(QStringLiteral("Event")));

    // The snapshot is the video's picture at the widget's size: seconds.mp4
    // shows one saturated colour per second.
    QTemporaryDir pictures;
    window->setSnapshotDirectory(pictures.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->currentTime() > 1500; }, 10000));
    key(Qt::Key_S, Qt::ControlModifier);
    const QStringList saved = QDir(pictures.path()).entryList({QStringLiteral("seconds-0m0*.png")});
    ASSERT_EQ(saved.size(), 1) << QDir(pictures.path()).entryList().join(' ').toStdString();
    const QImage snapshot(QDir(pictures.path()).filePath(saved.first()));
    EXPECT_EQ(snapshot.size(), window->videoWidget()->size());
    const QColor centre = snapshot.pixelColor(snapshot.width() / 2, snapshot.height() / 2);
    EXPECT_GT(std::max({centre.red(), centre.green(), centre.blue()}), 200) << centre.name().toStdString();

    key(Qt::Key_I, Qt::ControlModifier);
    auto *info = window->findChild<QDialog *>(QStringLiteral("mediaInfo"));
    ASSERT_NE(info, nullptr);
    QStringList lines;
    for (QLabel *label : info->findChildren<QLabel *>())
        lines << label->text();
    for (const char *expected : {"h264", "320 x 240", "30.000 frames a second", "0:08", "aac", "software"})
        EXPECT_TRUE(lines.join(' ').contains(expected)) << expected << " missing in " << lines.join(' ').toStdString();
    info->close();
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
    window->openFile(clip, true);
    ASSERT_TRUE(waitFor(EventTimeChanged, 10));
    QPointer<QWidget> video = window->videoWidget();
    spy.reset();
    window.reset();
    EXPECT_TRUE(video.isNull()) << "the player deletes its widget";
}

} // namespace
