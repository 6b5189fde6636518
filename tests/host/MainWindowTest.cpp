// The player window driven in-process with the real plug-in.
#include "IMediaPlayer2.h"
#include "MainWindow.h"
#include "PluginLoader.h"
#include "common/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

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

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> spy; // declared after window: goes first
    IMediaPlayer2 *player = nullptr;
    const QString clip = QString::fromStdString(mediaPath("seconds.mp4"));
};

TEST_F(MainWindowTest, KeysDrivePlaybackAndTheLabelsFollow)
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
    EXPECT_TRUE(window->statusText().startsWith(QStringLiteral("Playing"))) << window->statusText().toStdString();
    window->findChildren<QSlider *>().last()->setValue(50); // the volume slider
    EXPECT_EQ(qRound(player->volume() * 100), 50);
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
