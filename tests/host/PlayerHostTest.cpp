// player-host in scripted mode, as a separate process under the test display and
// sound server: the event log, the exit status and its screenshots.
#include "IMediaPlayer2.h"
#include "common/TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct HostRun {
    int exitCode = -1;
    bool finished = false;
    QString output, errors;
    QList<int> events;       // codes of the event lines
    QList<qint64> positions; // their pos= values
};

// withoutVariables: environment variables taken away from the child (DISPLAY...).
HostRun runPlayerHost(const QStringList &arguments, const QStringList &withoutVariables = {})
{
    HostRun run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : withoutVariables)
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PLA_PLAYER_HOST), arguments);
    run.finished = process.waitForFinished(120000); // else QProcess's destructor kills it
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromUtf8(process.readAllStandardError());
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpression eventLine(QStringLiteral("^event (\\d+) Event\\w+ t=\\d+ms pos=(\\d+)ms$"),
                                       QRegularExpression::MultilineOption);
    for (auto it = eventLine.globalMatch(run.output); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        run.events.append(m.captured(1).toInt());
        run.positions.append(m.captured(2).toLongLong());
    }
    return run;
}

class PlayerHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLA_REQUIRE_TEST_ENVIRONMENT();
        ASSERT_TRUE(dir.isValid());
    }
    QTemporaryDir dir;
    const QString clip = QString::fromStdString(mediaPath("seconds.mp4"));
};

// The script seeks once playing, pauses at the position asked for and saves
// the picture; each event is printed with its position. The events' order
// around a seek and a pause is e2e_playback's.
TEST_F(PlayerHostTest, ScriptSeeksPausesAndSavesThePicture)
{
    const QString shot = dir.filePath(QStringLiteral("paused.png"));
    const HostRun run = runPlayerHost(
        {"--sw", "--size", "640x420", "--seek", "3000", "--pause-at", "4400", "--screenshot", shot, clip});
    ASSERT_TRUE(run.finished) << run.output.toStdString();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

    ASSERT_FALSE(run.events.isEmpty());
    EXPECT_EQ(run.events.first(), EventLoaded) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QRegularExpression("^loaded .*duration=8000", QRegularExpression::MultilineOption)));
    const qint64 pausedAt = run.positions[run.events.lastIndexOf(EventPaused)];
    EXPECT_TRUE(pausedAt >= 4400 && pausedAt < 8000) << pausedAt;
    EXPECT_FALSE(QImage(shot).isNull()) << shot.toStdString();
}

// Exit status 1 for a file that cannot be opened, 2 for a bad command line.
TEST_F(PlayerHostTest, BadFilesAndCommandLinesEndTheRunWithAFailure)
{
    const QString missing = dir.filePath(QStringLiteral("missing.mp4"));
    const struct {
        QStringList arguments;
        int exitCode;
        QString message;
    } cases[] = {
        {{"--play-for", "1000", missing}, 1, "load failed: " + missing},
        {{"--plugin", dir.filePath(QStringLiteral("libNone.so")), clip}, 2, "not found"},
        {{"--plugin=" + clip, clip}, 2, "cannot load the plug-in"},
        {{clip, "--plugin"}, 2, "--plugin wants a path"},
        {{"--sw", "--vr", clip}, 2, "one of --sw"},
        {{"--seek", "soon", clip}, 2, "--seek wants milliseconds"},
        {{"--play-for", "100"}, 2, "needs a file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const HostRun run = runPlayerHost(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.errors.contains(c.message)) << run.errors.toStdString();
        EXPECT_EQ(run.events, c.exitCode == 1 ? QList<int>{EventLoadFailed} : QList<int>{}) << "nothing plays";
    }
}

// Runs without the test environment: --help and --version must not need a display.
TEST(PlayerHostWithoutDisplay, HelpAndVersionAnswerAndAPlayRunFailsClearly)
{
    const QStringList noDisplay{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const HostRun help = runPlayerHost({"--help"}, noDisplay);
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0) << help.errors.toStdString();
    // The optional file, the keys and the render modes by name.
    for (const char *expected : {"[options] [FILE]", "Space", "full screen", "360° / VR", "--mode <MODE>"})
        EXPECT_TRUE(help.output.contains(QString::fromUtf8(expected))) << expected << " missing in\n"
                                                                        << help.output.toStdString();

    const HostRun version = runPlayerHost({"--version"}, noDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, QStringLiteral("player-host " PLAYERLIBAV_VERSION_STRING "\n"));

    const HostRun play = runPlayerHost({"clip.mp4"}, noDisplay);
    EXPECT_EQ(play.exitCode, 2) << "not an abort";
    EXPECT_TRUE(play.errors.contains(QStringLiteral("no display"))) << play.errors.toStdString();
}

} // namespace
