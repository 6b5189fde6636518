// player-host in scripted mode, as a separate process under the test display and
// sound server: the event log, the exit status and the pixels of its screenshots.
#include "HostProcess.h"
#include "IMediaPlayer2.h"
#include "common/TestMedia.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// seconds.mp4 shows one solid colour per second.
const QColor kSecondColours[] = {Qt::red, QColor(0, 255, 0), Qt::blue, Qt::yellow,
                                 Qt::magenta, Qt::cyan, Qt::white, QColor(128, 128, 128)};

QString media(const char *name)
{
    return QString::fromStdString(mediaPath(name));
}

bool near(QColor a, QColor b)
{
    constexpr int kTolerance = 48; // yuv420p round trip and scaling
    return std::abs(a.red() - b.red()) <= kTolerance && std::abs(a.green() - b.green()) <= kTolerance &&
           std::abs(a.blue() - b.blue()) <= kTolerance;
}

// The colour at the centre and near each corner: the flat mode fills the widget.
QList<QColor> samples(const QImage &image)
{
    const int w = image.width(), h = image.height();
    QList<QColor> result;
    // Inside the picture, which keeps its aspect ratio between bars.
    for (const QPoint &p : {QPoint(w / 2, h / 2), QPoint(w * 3 / 10, h * 3 / 10), QPoint(w * 7 / 10, h * 3 / 10),
                            QPoint(w * 3 / 10, h * 7 / 10), QPoint(w * 7 / 10, h * 7 / 10)})
        result.append(image.pixelColor(p));
    return result;
}

QString describe(const QList<QColor> &colours)
{
    QStringList parts;
    for (const QColor &c : colours)
        parts << QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
    return parts.join(QLatin1Char(' '));
}

class PlayerHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveTestEnvironment())
            GTEST_SKIP() << "needs tools/test-env.sh (display and sound server)";
        ASSERT_TRUE(dir.isValid());
    }
    QTemporaryDir dir;
};

TEST_F(PlayerHostTest, SeeksPausesAndShowsTheSecondItPausedIn)
{
    const QString shot = dir.filePath(QStringLiteral("paused.png"));
    const HostRun run = runPlayerHost({QStringLiteral("--sw"), QStringLiteral("--size"), QStringLiteral("640x420"),
                                       QStringLiteral("--seek"), QStringLiteral("3000"), QStringLiteral("--pause-at"),
                                       QStringLiteral("4400"), QStringLiteral("--screenshot"), shot,
                                       media("seconds.mp4")});
    ASSERT_TRUE(run.finished) << run.lines.join('\n').toStdString();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

    // Loaded, playing, playing again once the seek is done, paused; nothing else.
    EXPECT_EQ(run.stateEvents(), QList<int>({5, 0, 0, 1})) << run.lines.join('\n').toStdString();
    ASSERT_FALSE(run.events.isEmpty());
    EXPECT_EQ(run.events.first(), 5) << "no event may come before EventLoaded";
    EXPECT_TRUE(run.events.contains(7));
    EXPECT_EQ(HostRun::field(run.lineStartingWith(QStringLiteral("loaded ")), QStringLiteral("duration")), 8000);

    // After the seek's EventPlaying every time event reports at least the target.
    const int resumed = run.events.lastIndexOf(0);
    for (int i = resumed; i < run.events.size(); ++i)
        EXPECT_GE(run.eventPositions[i], 3000) << "event " << i;

    const qint64 pausedAt = run.eventPositions[run.events.lastIndexOf(1)];
    ASSERT_GE(pausedAt, 4400);
    ASSERT_LT(pausedAt, 8000);

    const QImage image(shot);
    ASSERT_FALSE(image.isNull()) << "no screenshot at " << shot.toStdString();
    EXPECT_GE(image.width(), 320);
    EXPECT_GE(image.height(), 180);
    // The picture of the second the position is in; right after a second's start
    // the previous second's last frame may still be up.
    const int second = static_cast<int>(pausedAt / 1000);
    for (const QColor &c : samples(image)) {
        const bool current = near(c, kSecondColours[second]);
        const bool previous = pausedAt % 1000 < 150 && near(c, kSecondColours[second - 1]);
        EXPECT_TRUE(current || previous) << "paused at " << pausedAt << " ms, pixels "
                                         << describe(samples(image)).toStdString();
    }
}

TEST_F(PlayerHostTest, PlaysToTheEndAndKeepsTheLastPicture)
{
    const QString shot = dir.filePath(QStringLiteral("end.png"));
    const HostRun run = runPlayerHost({QStringLiteral("--seek"), QStringLiteral("6500"),
                                       QStringLiteral("--screenshot"), shot, media("seconds.mp4")});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

    const QList<int> states = run.stateEvents();
    ASSERT_GE(states.size(), 4) << run.lines.join('\n').toStdString();
    EXPECT_EQ(states.mid(0, 3), QList<int>({5, 0, 0}));
    EXPECT_EQ(states.last(), 3);
    EXPECT_FALSE(states.contains(1) || states.contains(2) || states.contains(6));
    EXPECT_GE(run.eventPositions[run.events.indexOf(3)], 7900);

    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    for (const QColor &c : samples(image))
        EXPECT_TRUE(near(c, kSecondColours[7])) << describe(samples(image)).toStdString();
}

TEST_F(PlayerHostTest, FilesThatCannotBeOpenedEndTheScriptWithAFailure)
{
    const QString empty = dir.filePath(QStringLiteral("empty.mp4"));
    QFile(empty).open(QIODevice::WriteOnly);
    for (const QString &file : {dir.filePath(QStringLiteral("missing.mp4")), empty}) {
        SCOPED_TRACE(file.toStdString());
        const HostRun run = runPlayerHost({QStringLiteral("--play-for"), QStringLiteral("1000"), file});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains(QStringLiteral("load failed: ") + file)) << run.errors.toStdString();
        EXPECT_EQ(run.stateEvents(), QList<int>({6}));
    }
}

TEST_F(PlayerHostTest, BadCommandLinesAreRefusedBeforeAnythingPlays)
{
    const QString clip = media("seconds.mp4");
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{QStringLiteral("--plugin"), dir.filePath(QStringLiteral("libNone.so")), clip}, "not found"},
        {{QStringLiteral("--plugin=") + clip, clip}, "cannot load the plug-in"},
        {{clip, QStringLiteral("--plugin")}, "--plugin wants a path"},
        {{QStringLiteral("--sw"), QStringLiteral("--vr"), clip}, "one of --sw"},
        {{QStringLiteral("--seek"), QStringLiteral("soon"), clip}, "--seek wants milliseconds"},
        {{QStringLiteral("--screenshot-at"), QStringLiteral("x.png"), clip}, "MS:PATH"},
        {{QStringLiteral("--play-for"), QStringLiteral("100")}, "needs a file"},
        {{QStringLiteral("--look"), QStringLiteral("90"), clip}, "--look wants YAW,PITCH"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const HostRun run = runPlayerHost(c.arguments, 30000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.errors.contains(QString::fromUtf8(c.message))) << run.errors.toStdString();
        EXPECT_TRUE(run.events.isEmpty());
    }
}

// Runs without the test environment: --help and --version must not need a display.
TEST(PlayerHostWithoutDisplay, HelpAndVersionAnswerAndAPlayRunFailsClearly)
{
    const QStringList noDisplay{QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                QStringLiteral("QT_QPA_PLATFORM")};
    const HostRun help = runPlayerHost({QStringLiteral("--help")}, 30000, noDisplay);
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0) << help.errors.toStdString();
    const QString text = help.lines.join('\n');
    // The optional file, the keys and the render modes by name.
    for (const char *expected : {"[options] [FILE]", "Space", "volume up", "mute", "full screen", "Ctrl+S",
                                 "Double-click", "Flat", "360° / VR", "--mode <MODE>"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << " missing in\n" << text.toStdString();

    const HostRun version = runPlayerHost({QStringLiteral("--version")}, 30000, noDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.lines, QStringList{QStringLiteral("player-host " PLAYERLIBAV_VERSION_STRING)});

    const HostRun play = runPlayerHost({QStringLiteral("clip.mp4")}, 30000, noDisplay);
    EXPECT_EQ(play.exitCode, 2) << "not an abort";
    EXPECT_TRUE(play.errors.contains(QStringLiteral("no display"))) << play.errors.toStdString();
}

} // namespace
