// Log files written through Logger records: line format against a fixed
// clock, opening on demand, truncate and append, UTF-16LE for encoding 1.
#include "support/Logger.h"
#include "LogTestSupport.h"
#include "support/LogTimeSource.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kA = "2024:03:05_14:07:09:042 A: ";
const QByteArray kE = "2024:03:05_14:07:09:042 E: ";

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setLogTimeSource([] { return LocalTime{2024, 3, 5, 14, 7, 9, 42}; });
    }
    void TearDown() override
    {
        setLogTimeSource(nullptr);
        close();
    }
    // Points the logger at a fresh record for the file; existing text, if
    // given, is written there first.
    void use(const QString &name, bool truncate, int32_t encoding, int32_t level = 1,
        const QByteArray &existing ={})
    {
        close();
        path = dir.filePath(name);
        record = LogFileRecord{nullptr, level, truncate, 0, encoding, path.toStdWString()};
        if (!existing.isEmpty()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(existing);
        }
    }
    void close()
    {
        if (record.file)
            std::fclose(record.file);
        record.file = nullptr;
    }

    QTemporaryDir dir;
    QString path;
    LogFileRecord record {};
    Logger logger{&record};
};

TEST_F(LogFile, LinesCarryTheTimeAndTagAndFormatTheirArguments)
{
    // The path goes to the file system as UTF-8.
    use(QString::fromUtf8("journal-\xc3\xa9t\xc3\xa9-\xe2\x9c\x93.log"), true, 0);
    logA(&logger, "opened %s with %d streams", "clip.mp4", 2);
    logE(&logger, "decoder %s: %5.1f%%", "h264", 12.5);
    EXPECT_EQ(readAll(path), kA + "opened clip.mp4 with 2 streams\n" + kE + "decoder h264:  12.5%\n");

    // A message longer than any fixed buffer is written whole.
    const std::string longText(5000, 'x');
    logA(&logger, "%s|", longText.c_str());
    EXPECT_TRUE(readAll(path).endsWith(kA + QByteArray::fromStdString(longText) + "|\n"));
}

TEST_F(LogFile, LevelZeroDropsErrorsWithoutOpeningTheFile)
{
    use("quiet.log", false, 0, 0);
    logE(&logger, "not written");
    EXPECT_EQ(record.file, nullptr);
    EXPECT_FALSE(QFile::exists(path));
    logA(&logger, "written");
    EXPECT_EQ(readAll(path), kA + "written\n");
}

TEST_F(LogFile, FirstMessageTruncatesOrAppends)
{
    for (bool truncate : { false, true }) {
        use(truncate ? "lost.log" : "kept.log", truncate, 0, 1, "earlier\n");
        logA(&logger, "one");
        logA(&logger, "two");
        EXPECT_EQ(
            readAll(path), (truncate ? QByteArray() : QByteArray("earlier\n")) + kA + "one\n" + kA + "two\n");
    }
}

TEST_F(LogFile, FailedOpenDropsTheMessageAndTheNextOneRetries)
{
    use("later/retry.log", false, 0);
    logA(&logger, "dropped");
    EXPECT_EQ(record.file, nullptr);
    ASSERT_TRUE(QDir(dir.path()).mkdir("later"));
    logA(&logger, "kept");
    EXPECT_EQ(readAll(path), kA + "kept\n");
}

TEST_F(LogFile, EncodingOneWritesUtf16LittleEndianWithOneByteOrderMark)
{
    const QByteArray bom("\xFF\xFE", 2);
    const QByteArray line
        = utf16le(QString::fromLatin1(kA) + QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac 7\n"));
    use("new16.log", false, 1);
    logA(&logger, "caf\xc3\xa9 \xe2\x82\xac %d", 7);
    EXPECT_EQ(readAll(path), bom + line);

    use("new16.log", false, 1); // appending to existing text adds no second mark
    logA(&logger, "caf\xc3\xa9 \xe2\x82\xac %d", 7);
    EXPECT_EQ(readAll(path), bom + line + line);

    use("new16.log", true, 1);
    logE(&logger, "bad \xff byte");
    EXPECT_EQ(readAll(path), bom + utf16le(QString::fromLatin1(kE) + QString::fromUtf8("bad \xff byte\n")));
}

TEST(DiagnosticLogger, StartsEmptyAndDropsMessages)
{
    EXPECT_EQ(diagnosticLogger(), nullptr);
    logA(diagnosticLogger(), "nowhere %d", 1);
    logE(diagnosticLogger(), "nowhere %d", 2);
}

TEST(LocalTimeTest, MatchesQtLocalTime)
{
    // Retried when a minute boundary falls between the readings.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QDateTime before = QDateTime::currentDateTime();
        const LocalTime t = localTime();
        if (before.time().minute() != QDateTime::currentDateTime().time().minute())
            continue;
        EXPECT_EQ(QDate(t.year, t.month, t.day), before.date());
        EXPECT_EQ(t.hour, before.time().hour());
        EXPECT_EQ(t.minute, before.time().minute());
        EXPECT_LE(t.second, 60);
        EXPECT_LE(t.millisecond, 999);
        return;
    }
    FAIL() << "the minute changed during every attempt";
}

} // namespace
