// logToHost: the host's logger found in QCoreApplication user data built with
// the host's layout, anonymising, literal text, and Qt's critical output when
// there is no host logger.
// HostLogBridge.h re-enables QObject's user data and must precede Qt headers.
#include "support/HostLogBridge.h"

#include "support/LogTimeSource.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

// Readable failure output for Qt strings.
inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toPercentEncoding(" :_/\\\"'.-").constData() << '"';
}
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toUtf8().constData() << '"';
}

namespace {

struct Captured {
    QtMsgType type;
    QString message;
};
std::vector<Captured> g_captured;

void capture(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    g_captured.push_back({type, message});
}

LocalTime fixedTime()
{
    return LocalTime{2031, 12, 31, 23, 59, 58, 7};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Expects exactly one critical message, unquoted, with this text.
void expectCritical(const QString &text)
{
    ASSERT_EQ(g_captured.size(), 1u);
    EXPECT_EQ(g_captured[0].type, QtCriticalMsg);
    EXPECT_EQ(g_captured[0].message, text);
    g_captured.clear();
}

void attach(QCoreApplication &app, QObjectUserData *data)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    app.setUserData(kHostLogUserDataId, data);
    QT_WARNING_POP
}

} // namespace

// One process, one application object: the stages follow the host's life.
TEST(LogToHost, FindsTheHostLoggerThroughApplicationUserData)
{
    QtMessageHandler previous = qInstallMessageHandler(capture);
    setLogTimeSource(fixedTime);
    const QString message = QStringLiteral("Render mode has been selected: 100% \"%s\" %n");

    // No application object yet.
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    logToHost(message);
    expectCritical(message);

    static int argc = 1;
    static char name[] = "HostLogTest";
    static char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    // No user data under the id.
    logToHost(message);
    expectCritical(message);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("host.log");
    LogFileRecord record{};
    record.level = 0; // host lines are level A: written whatever the level
    record.truncate = false;
    record.encoding = 2;
    record.path = path.toStdWString();
    Logger logger{&record};
    HostAnonymiser anonymiser{QStringLiteral("/home/Alice"), QStringLiteral("C:\\Users\\Alice")};

    // User data whose logger pointer is null. The application deletes it.
    auto *bridge = new HostLogBridge(nullptr, &anonymiser);
    attach(app, bridge);
    logToHost(message);
    expectCritical(message);
    EXPECT_FALSE(QFile::exists(path));

    bridge->logger = &logger;
    logToHost(message);
    EXPECT_TRUE(g_captured.empty());
    EXPECT_EQ(readAll(path), QByteArray("2031:12:31_23:59:58:007 A: ") + message.toLatin1() + "\n");

    // Both forms, in any letter case; Latin-1 survives, the rest becomes '?'.
    QFile::remove(path);
    std::fclose(record.file);
    record.file = nullptr;
    logToHost(QString::fromUtf8("open /HOME/alice/v\xc3\xad" "deo.mp4 from c:\\users\\ALICE\\x \xe2\x9c\x93"));
    EXPECT_EQ(readAll(path), QByteArray("2031:12:31_23:59:58:007 A: open %USERPROFILE%/v\xc3\xad"
                                        "deo.mp4 from %USERPROFILE%\\x ?\n"));

    // Without an anonymiser the text is written as it is.
    bridge->anonymiser = nullptr;
    QFile::remove(path);
    std::fclose(record.file);
    record.file = nullptr;
    logToHost(QStringLiteral("/home/Alice/a.mp4"));
    EXPECT_EQ(readAll(path), QByteArray("2031:12:31_23:59:58:007 A: /home/Alice/a.mp4\n"));

    // Empty forms replace nothing.
    HostAnonymiser empty{QString(), QString()};
    bridge->anonymiser = &empty;
    logToHost(QStringLiteral("ab"));
    EXPECT_TRUE(readAll(path).endsWith(" A: ab\n"));

    std::fclose(record.file);
    record.file = nullptr;
    setLogTimeSource(nullptr);
    qInstallMessageHandler(previous);
}
