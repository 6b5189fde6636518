// What a host gets of the library besides playback: the three factories as
// the only exported symbols, and a stderr that stays empty while good and
// damaged files load and play unless a logging rule brings the library's and
// FFmpeg's lines back. Each logging run is this executable again as a child
// with a clean environment.
#include "e2e/E2EHost.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(PluginExports, OnlyTheThreeFactoriesAreExported)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {"-D", "--defined-only", PLA_PLUGIN_PATH});
    ASSERT_TRUE(nm.waitForFinished(30000) && nm.exitCode() == 0) << nm.readAllStandardError().data();
    QStringList symbols; // name:type
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        symbols << line.section(' ', 2) + ':' + line.section(' ', 1, 1);
    symbols.sort();
    EXPECT_EQ(symbols, QStringList({"CreateHw:T", "CreateHwVr:T", "CreateSw:T"}));
}

// The child. The damaged files come first, so they are FFmpeg's first use in the process.
TEST(E2EQuietChild, LoadsDamagedAndGoodFilesAndPlays)
{
    const std::string garbage = qEnvironmentVariable("PLA_QUIET_GARBAGE").toStdString();
    if (garbage.empty())
        GTEST_SKIP() << "run by E2EQuiet as a child process";
    E2EHost host;
    EXPECT_TRUE(host.run("load:truncated_moov.mp4 await:LoadFailed load:" + garbage +
                         " await:LoadFailed open:h264_aac.mp4 play wait:1500"));
}

// The child's stderr under the given logging rules.
QString childErrors(const QString &rules, const QString &garbage)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_LOGGING_RULES", "QT_LOGGING_CONF", "QT_MESSAGE_PATTERN", "QT_DEBUG_PLUGINS"})
        environment.remove(QString::fromLatin1(name));
    if (!rules.isEmpty())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    environment.insert(QStringLiteral("PLA_QUIET_GARBAGE"), garbage);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=E2EQuietChild.*")});
    EXPECT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    return QString::fromLocal8Bit(child.readAllStandardError()).trimmed();
}

TEST(E2EQuiet, NothingReachesStderrUnlessALoggingRuleAsks)
{
    PLA_REQUIRE_TEST_ENVIRONMENT();
    const QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.dat")); // no extension: FFmpeg guesses from the bytes
    ASSERT_TRUE(QFile::copy(QString::fromStdString(mediaPath("garbage.bin")), garbage));
    EXPECT_EQ(childErrors({}, garbage).toStdString(), "");
    const QString loud = childErrors(
        QStringLiteral("playerlibav.ffmpeg.warning=true;playerlibav.ffmpeg.info=true;playerlibav.demux.debug=true"),
        garbage);
    for (const char *line : {"moov atom not found", "misdetection possible", "pushForRendering"})
        EXPECT_TRUE(loud.contains(QLatin1String(line))) << line << " in\n" << loud.toStdString();
}

} // namespace
