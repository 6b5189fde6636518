// Log files written through Logger records: line format against a fixed
// clock, opening on demand, truncate and append, UTF-16LE for encoding 1.
#include "support/LogTimeSource.h"
#include "support/Logger.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

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

LocalTime fixedTime()
{
    return LocalTime{2024, 3, 5, 14, 7, 9, 42};
}

const char kPrefixA[] = "2024:03:05_14:07:09:042 A: ";
const char kPrefixE[] = "2024:03:05_14:07:09:042 E: ";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setLogTimeSource(fixedTime);
    }
    void TearDown() override
    {
        setLogTimeSource(nullptr);
        if (record.file)
            std::fclose(record.file);
    }
    void use(const QString &name, bool truncate, int32_t encoding, int32_t level = 1)
    {
        path = dir.filePath(name);
        record.file = nullptr;
        record.level = level;
        record.truncate = truncate;
        record.unused = 0;
        record.encoding = encoding;
        record.path = path.toStdWString();
        logger.record = &record;
    }

    QTemporaryDir dir;
    QString path;
    LogFileRecord record{};
    Logger logger{};
};

} // namespace

TEST_F(LogFile, LinesCarryTheTimeAndTagAndFormatTheirArguments)
{
    use("plain.log", true, 0);
    logA(&logger, "opened %s with %d streams", "clip.mp4", 2);
    logE(&logger, "decoder %s: %5.1f%%", "h264", 12.5);
    EXPECT_EQ(readAll(path), QByteArray(kPrefixA) + "opened clip.mp4 with 2 streams\n" + kPrefixE +
                                 "decoder h264:  12.5%\n");

    // A message longer than any fixed buffer is written whole.
    const std::string longText(5000, 'x');
    logA(&logger, "%s|", longText.c_str());
    EXPECT_TRUE(readAll(path).endsWith(QByteArray(kPrefixA) + QByteArray::fromStdString(longText) + "|\n"));
}

TEST_F(LogFile, LevelZeroDropsErrorsWithoutOpeningTheFile)
{
    use("quiet.log", false, 0, 0);
    logE(&logger, "not written");
    EXPECT_EQ(record.file, nullptr);
    EXPECT_FALSE(QFile::exists(path));

    logA(&logger, "written");
    EXPECT_NE(record.file, nullptr);
    EXPECT_EQ(readAll(path), QByteArray(kPrefixA) + "written\n");
}

TEST_F(LogFile, FirstMessageTruncatesOrAppends)
{
    use("kept.log", false, 0);
    writeAll(path, "earlier\n");
    logA(&logger, "one");
    logA(&logger, "two");
    EXPECT_EQ(readAll(path), QByteArray("earlier\n") + kPrefixA + "one\n" + kPrefixA + "two\n");
    std::fclose(record.file);

    use("lost.log", true, 0);
    writeAll(path, "earlier\n");
    logA(&logger, "one");
    logA(&logger, "two");
    EXPECT_EQ(readAll(path), QByteArray(kPrefixA) + "one\n" + kPrefixA + "two\n");
}

TEST_F(LogFile, FailedOpenDropsTheMessageAndTheNextOneRetries)
{
    use("later/retry.log", false, 0);
    logA(&logger, "dropped");
    EXPECT_EQ(record.file, nullptr);

    ASSERT_TRUE(QDir(dir.path()).mkdir("later"));
    logA(&logger, "kept");
    EXPECT_EQ(readAll(path), QByteArray(kPrefixA) + "kept\n");
}

TEST_F(LogFile, PathIsConvertedToUtf8)
{
    use(QString::fromUtf8("journal-\xc3\xa9t\xc3\xa9-\xe2\x9c\x93.log"), true, 0);
    logA(&logger, "x");
    EXPECT_EQ(readAll(path), QByteArray(kPrefixA) + "x\n");
}

TEST_F(LogFile, EncodingOneWritesUtf16LittleEndianWithOneByteOrderMark)
{
    const QByteArray bom("\xFF\xFE", 2);
    const QString line = QString::fromLatin1(kPrefixA) + QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac 7\n");

    use("new16.log", false, 1);
    logA(&logger, "caf\xc3\xa9 \xe2\x82\xac %d", 7);
    EXPECT_EQ(readAll(path), bom + utf16le(line));
    std::fclose(record.file);

    // Appending to existing text adds no second mark.
    use("new16.log", false, 1);
    logA(&logger, "caf\xc3\xa9 \xe2\x82\xac %d", 7);
    EXPECT_EQ(readAll(path), bom + utf16le(line) + utf16le(line));
    std::fclose(record.file);

    use("new16.log", true, 1);
    logE(&logger, "bad \xff byte");
    EXPECT_EQ(readAll(path), bom + utf16le(QString::fromLatin1(kPrefixE) + QString::fromUtf8("bad \xff byte\n")));
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
        const QDateTime after = QDateTime::currentDateTime();
        if (before.time().minute() != after.time().minute())
            continue;
        EXPECT_EQ(t.year, before.date().year());
        EXPECT_EQ(t.month, before.date().month());
        EXPECT_EQ(t.day, before.date().day());
        EXPECT_EQ(t.hour, before.time().hour());
        EXPECT_EQ(t.minute, before.time().minute());
        EXPECT_LE(t.second, 60);
        EXPECT_LE(t.millisecond, 999);
        return;
    }
    FAIL() << "the minute changed during every attempt";
}
