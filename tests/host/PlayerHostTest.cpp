// player-host as a separate process; its scripted play is host_demo's.
#include "IMediaPlayer2.h"
#include "common/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Exit status 1 for a file that cannot be opened, 2 for a bad command line or
// no display; stderr holds only player-host's lines unless a rule asks for more.
TEST(PlayerHost, ExitStatusAndMessageOfEachKindOfRun)
{
    const QTemporaryDir dir;
    const QString clip = QString::fromStdString(mediaPath("seconds.mp4")), missing = dir.filePath("missing.mp4");
    const QString garbage = dir.filePath("garbage.dat"); // no known extension: FFmpeg guesses from the bytes
    ASSERT_TRUE(QFile::copy(QString::fromStdString(mediaPath("garbage.bin")), garbage));
    const QString truncated = QString::fromStdString(mediaPath("truncated_moov.mp4"));
    const QString good = QString::fromStdString(mediaPath("h264_aac.mp4"));
    const QString loud = "playerlibav.ffmpeg.warning=true;playerlibav.ffmpeg.info=true;playerlibav.demux.debug=true";
    const QString rgb0 = QString::fromStdString(mediaPath("rgb0.nut"));
    const QString engine = "playerlibav.engine.debug=true";
    const QStringList display{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const struct {
        QStringList arguments;
        bool withDisplay;
        int exitCode;
        QStringList shown;
        QString rules = {}; // QT_LOGGING_RULES
    } runs[] = {
        {{"--play-for", "1000", missing}, true, 1, {"load failed: " + missing, QString("event %1 EventLoadFailed").arg(EventLoadFailed)}},
        {{"--play-for", "1000", truncated}, true, 1, {"load failed: "}},
        {{"--play-for", "1000", garbage}, true, 1, {"load failed: "}},
        {{"--play-for", "1500", good}, true, 0, {}},
        {{"--play-for", "1000", truncated}, true, 1, {"moov atom not found"}, loud},
        {{"--play-for", "1500", good}, true, 0, {"pushForRendering"}, loud},
        // No GPU: the hardware factory falls back to the software converter (yuv420p is 0)...
        {{"--hw", "--play-for", "1000", good}, true, 0,
         {"Video format is not supported by CUDA converter. Software converter will be used. 0"}, engine},
        {{"--hw", "--play-for", "1000", rgb0}, true, 0, {}}, // ...also where the CUDA converter's frames fail
        {{"--plugin", dir.filePath("libNone.so"), clip}, true, 2, {"not found"}},
        {{"--seek", "soon", clip}, true, 2, {"--seek wants milliseconds"}},
        {{"--play-for", "100"}, true, 2, {"needs a file"}},
        {{"clip.mp4"}, false, 2, {"no display"}},
        // The optional file, the keys and the render modes by name.
        {{"--help"}, false, 0, {"[options] [FILE]", "Space", "full screen", "360° / VR", "--mode <MODE>"}},
        {{"--version"}, false, 0, {"player-host " PLAYERLIBAV_VERSION_STRING "\n"}},
    };
    for (const auto &r : runs) {
        SCOPED_TRACE(r.arguments.join(' ').toStdString());
        if (r.withDisplay && !haveTestEnvironment())
            continue;
        QProcess host;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : (r.withDisplay ? QStringList() : display) +
                                       QStringList{"QT_LOGGING_RULES", "QT_LOGGING_CONF", "QT_MESSAGE_PATTERN", "QT_DEBUG_PLUGINS"})
            environment.remove(name);
        if (!r.rules.isEmpty())
            environment.insert("QT_LOGGING_RULES", r.rules);
        host.setProcessEnvironment(environment);
        host.start(QStringLiteral(PLA_PLAYER_HOST), r.arguments);
        ASSERT_TRUE(host.waitForFinished(120000)); // else QProcess's destructor kills it
        EXPECT_EQ(host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1, r.exitCode);
        const QString out = QString::fromUtf8(host.readAllStandardOutput()), err = QString::fromUtf8(host.readAllStandardError());
        const QString shownIn = !r.rules.isEmpty() ? err : r.exitCode ? err + out : out;
        for (const QString &text : r.shown)
            EXPECT_TRUE(shownIn.contains(text)) << text.toStdString() << " in\n"
                                                                       << (out + err).toStdString();
        if (r.exitCode) {
            EXPECT_EQ(out.count(QRegularExpression("^event ", QRegularExpression::MultilineOption)), int(r.exitCode == 1))
                << "nothing but the failed load";
        }
        if (r.rules.isEmpty()) { // the library and FFmpeg say nothing unless asked
            EXPECT_EQ(err.count(QRegularExpression("^(?!player-host: ).", QRegularExpression::MultilineOption)), 0)
                << err.toStdString();
        }
    }
}

} // namespace
