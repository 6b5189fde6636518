// logToHost: the host's logger found through application user data, or Qt's
// critical output without one. HostLogBridge.h must precede Qt headers.
#include "support/HostLogBridge.h"

#include "common/TestSupport.h"
#include "support/LogTimeSource.h"

#include <QCoreApplication>
#include <QTemporaryDir>

TEST(LogToHost, FindsTheHostLoggerThroughApplicationUserData)
{
    setLogTimeSource([] { return LocalTime{2031, 12, 31, 23, 59, 58, 7}; });
    const QString message = QStringLiteral("Render mode has been selected: 100% \"%s\" %n");
    MessageCapture capture;
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    logToHost(message);
    int argc = 1;
    char name[] = "HostLogTest", *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    logToHost(message); // no user data under the id

    QTemporaryDir dir;
    const QString path = dir.filePath("host.log");
    LogFileRecord record{nullptr, 0, false, 0, 2, path.toStdWString()};
    Logger logger{&record};
    HostAnonymiser anonymiser{QStringLiteral("/home/Alice"), QStringLiteral("C:\\Users\\Alice")};
    auto *bridge = new HostLogBridge(nullptr, &anonymiser); // the application deletes it
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    app.setUserData(kHostLogUserDataId, bridge);
    QT_WARNING_POP
    logToHost(message); // user data whose logger is null
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(capture.count(message, QtCriticalMsg), 3);
    EXPECT_EQ(capture.messages().back().text, message);

    bridge->logger = &logger;
    logToHost(message); // level 0: host lines are level A, written anyway
    // Both forms, in any letter case; Latin-1 survives, the rest becomes '?'.
    logToHost(QString::fromUtf8("open /HOME/alice/v\xc3\xad"
                                "deo.mp4 from c:\\users\\ALICE\\x \xe2\x9c\x93"));
    bridge->anonymiser = nullptr; // the text as it is
    logToHost(QStringLiteral("/home/Alice/a.mp4"));
    HostAnonymiser empty{QString(), QString()}; // empty forms replace nothing
    bridge->anonymiser = &empty;
    logToHost(QStringLiteral("ab"));
    std::fclose(record.file);
    const QByteArray stamp = "2031:12:31_23:59:58:007 A: ";
    EXPECT_EQ(readAll(path), stamp + message.toLatin1() + "\n" + stamp
                                 + "open %USERPROFILE%/v\xc3\xad"
                                   "deo.mp4 from %USERPROFILE%\\x ?\n"
                                 + stamp + "/home/Alice/a.mp4\n" + stamp + "ab\n");
    EXPECT_EQ(capture.messages().size(), 3u) << "nothing more to Qt's output";
    setLogTimeSource(nullptr);
}
