// Log files, and logToHost: the host's logger through application user data,
// else Qt's critical output. HostLogBridge.h must precede Qt headers.
#include "support/HostLogBridge.h"

#include "common/TestSupport.h"
#include "support/LogTimeSource.h"
#include "support/Logger.h"

#include <QCoreApplication>
#include <QTemporaryDir>

static QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// E only from level 1; UTF-16 with one mark at the start, U+FFFD for a bad byte; long lines whole.
TEST(LogFile, LinesInEachForm)
{
    setLogTimeSource([] { return LocalTime{2024, 3, 5, 14, 7, 9, 42}; });
    const QString stamp = QStringLiteral("2024:03:05_14:07:09:042 ");
    const std::string longText(5000, 'x');
    const QString lines = stamp + "E: e 1\n" + stamp + QString::fromUtf8("A: caf\xc3\xa9 \xef\xbf\xbd") +
                          QString::fromStdString(longText) + "\n";
    const QByteArray bom("\xFF\xFE", 2), utf8 = lines.toUtf8().replace("\xef\xbf\xbd", "\xff");
    struct {
        const char *name;
        bool truncate;
        int32_t encoding, level;
        QByteArray existing, expected;
    } cases[] = {
        {"\xc3\xa9t\xc3\xa9-\xe2\x9c\x93.log", false, 0, 1, "earlier\n", "earlier\n" + utf8}, // UTF-8 path
        {"quiet.log", false, 0, 0, {}, utf8.mid(utf8.indexOf('\n') + 1)},
        {"new16.log", false, 1, 1, {}, bom + utf16le(lines)},
        {"kept16.log", false, 1, 1, bom + utf16le("x\n"), bom + utf16le("x\n" + lines)},
        {"lost16.log", true, 1, 1, "earlier\n", bom + utf16le(lines)},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        LogFileRecord record{nullptr, c.level, c.truncate, 0, c.encoding, path.toStdWString()};
        Logger logger{&record};
        QFile file(path); // the text there before
        ASSERT_TRUE(c.existing.isEmpty()
                    || (file.open(QFile::WriteOnly) && file.write(c.existing) > 0 && file.flush()));
        logE(&logger, "e %d", 1);
        EXPECT_EQ(QFile::exists(path), c.level > 0 || !c.existing.isEmpty()) << "opened for nothing";
        logA(&logger, "caf\xc3\xa9 %s%s", "\xff", longText.c_str());
        std::fclose(record.file);
        EXPECT_EQ(readAll(path), c.expected);
    }
    setLogTimeSource(nullptr);
}

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
