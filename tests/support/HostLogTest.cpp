// logToHost: the host's logger found in QCoreApplication user data built with
// the host's layout, anonymising, literal text, and Qt's critical output when
// there is no host logger.
// HostLogBridge.h re-enables QObject's user data and must precede Qt headers.
#include "support/HostLogBridge.h"

#include "LogTestSupport.h"
#include "support/LogTimeSource.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Captured {
    QtMsgType type;
    QString message;
};
std::vector<Captured> g_captured;

// Expects exactly one critical message since the last call, unquoted, with this text.
void expectCritical(const QString &text)
{
    ASSERT_EQ(g_captured.size(), 1u);
    EXPECT_EQ(g_captured[0].type, QtCriticalMsg);
    EXPECT_EQ(g_captured[0].message, text);
    g_captured.clear();
}

// One process, one application object: the stages follow the host's life.
TEST(LogToHost, FindsTheHostLoggerThroughApplicationUserData)
{
    QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
              g_captured.push_back({type, message});
          });
    setLogTimeSource([] { return LocalTime{2031, 12, 31, 23, 59, 58, 7}; });
    const QByteArray stamp = "2031:12:31_23:59:58:007 A: ";
    const QString message = QStringLiteral("Render mode has been selected: 100% \"%s\" %n");

    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    logToHost(message);
    expectCritical(message);

    static int argc = 1;
    static char name[] = "HostLogTest";
    static char *argv[] ={name, nullptr};
    QCoreApplication app(argc, argv);
    logToHost(message); // no user data under the id
    expectCritical(message);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("host.log");
    // Level 0: host lines are level A, written whatever the level.
    LogFileRecord record{nullptr, 0, false, 0, 2, path.toStdWString()};
    Logger logger{&record};
    // Writes one host line into a fresh file and returns the file.
    auto logged = [&](const QString &text) {
        if (record.file)
            std::fclose(record.file);
        record.file = nullptr;
        QFile::remove(path);
        logToHost(text);
        return readAll(path);
    };

    // User data whose logger pointer is null; the application deletes it.
    HostAnonymiser anonymiser{QStringLiteral("/home/Alice"), QStringLiteral("C:\\Users\\Alice")};
    auto *bridge = new HostLogBridge(nullptr, &anonymiser);
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    app.setUserData(kHostLogUserDataId, bridge);
    QT_WARNING_POP
    logToHost(message);
    expectCritical(message);
    EXPECT_FALSE(QFile::exists(path));

    bridge->logger = &logger;
    EXPECT_EQ(logged(message), stamp + message.toLatin1() + "\n");
    EXPECT_TRUE(g_captured.empty());

    // Both forms, in any letter case; Latin-1 survives, the rest becomes '?'.
    EXPECT_EQ(logged(QString::fromUtf8("open /HOME/alice/v\xc3\xad"
                                       "deo.mp4 from c:\\users\\ALICE\\x \xe2\x9c\x93")),
        stamp
            + "open %USERPROFILE%/v\xc3\xad"
              "deo.mp4 from %USERPROFILE%\\x ?\n");

    bridge->anonymiser = nullptr; // the text as it is
    EXPECT_EQ(logged(QStringLiteral("/home/Alice/a.mp4")), stamp + "/home/Alice/a.mp4\n");
    HostAnonymiser empty{QString(), QString()}; // empty forms replace nothing
    bridge->anonymiser = &empty;
    EXPECT_EQ(logged(QStringLiteral("ab")), stamp + "ab\n");

    std::fclose(record.file);
    setLogTimeSource(nullptr);
    qInstallMessageHandler(previous);
}

} // namespace
