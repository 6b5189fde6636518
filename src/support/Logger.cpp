// HostLogBridge.h re-enables QObject's user data and must precede Qt headers.
#include "support/HostLogBridge.h"

#include "support/LogTimeSource.h"
#include "support/Logger.h"

#include <QCoreApplication>
#include <QDebug>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <vector>

// The host hands these objects across the module boundary by position.
static_assert(offsetof(LogFileRecord, file) == 0, "host log record layout");
static_assert(offsetof(LogFileRecord, level) == 8, "host log record layout");
static_assert(offsetof(LogFileRecord, truncate) == 12, "host log record layout");
static_assert(offsetof(LogFileRecord, unused) == 16, "host log record layout");
static_assert(offsetof(LogFileRecord, encoding) == 20, "host log record layout");
static_assert(offsetof(LogFileRecord, path) == 24, "host log record layout");
static_assert(offsetof(Logger, record) == 0, "host logger layout");
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "UTF-16 lines are written in memory order");

namespace {

std::atomic<Logger *> g_diagnosticLogger{nullptr};
std::atomic<LogTimeSource> g_timeSource{nullptr};

constexpr int32_t kUtf16Encoding = 1;

// Where a message's bytes come from: printf-style narrow text (UTF-8 on this
// platform) or the host bridge's Latin-1.
enum class TextKind { Narrow, Latin1 };

// Opens the record's file on its first message. A failure leaves file null so
// that the next message tries again.
bool ensureOpen(LogFileRecord *record)
{
    if (record->file)
        return true;
    const QByteArray path = QString::fromStdWString(record->path).toUtf8();
    if (path.isEmpty())
        return false;
    FILE *file = std::fopen(path.constData(), record->truncate ? "wb" : "ab");
    if (!file)
        return false;
    if (record->encoding == kUtf16Encoding) {
        // A new or emptied file starts with the byte-order mark; appending to
        // existing text must not put a second one in the middle.
        bool empty = record->truncate;
        if (!empty && std::fseek(file, 0, SEEK_END) == 0)
            empty = std::ftell(file) == 0;
        if (empty)
            std::fwrite("\xFF\xFE", 1, 2, file);
    }
    record->file = file;
    return true;
}

void writeUtf16(FILE *file, const QString &text)
{
    if (!text.isEmpty())
        std::fwrite(text.utf16(), sizeof(char16_t), size_t(text.size()), file);
}

void writeBytes(FILE *file, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
}

void writeText(LogFileRecord *record, const char *text, size_t length, TextKind kind)
{
    if (length == 0)
        return;
    if (record->encoding == kUtf16Encoding) {
        // Invalid UTF-8 becomes U+FFFD: a message is never lost to its bytes.
        writeUtf16(record->file, kind == TextKind::Latin1 ? QString::fromLatin1(text, int(length))
                                                          : QString::fromUtf8(text, int(length)));
    } else if (kind == TextKind::Latin1) {
        writeBytes(record->file, QString::fromLatin1(text, int(length)).toUtf8());
    } else {
        std::fwrite(text, 1, length, record->file);
    }
}

void writeLine(Logger *logger, const wchar_t *tag, const char *text, size_t length, TextKind kind)
{
    LogFileRecord *record = logger ? logger->record : nullptr;
    if (!record || !ensureOpen(record))
        return;

    const LogTimeSource source = g_timeSource.load(std::memory_order_acquire);
    const LocalTime t = source ? source() : localTime();
    wchar_t prefix[64];
    const int prefixLength =
        std::swprintf(prefix, sizeof prefix / sizeof prefix[0], L"%04i:%02i:%02i_%02i:%02i:%02i:%03i %ls: ",
                      t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, tag);
    const QString wide = QString::fromWCharArray(prefix, prefixLength > 0 ? prefixLength : 0);
    if (record->encoding == kUtf16Encoding)
        writeUtf16(record->file, wide);
    else
        writeBytes(record->file, wide.toUtf8());

    writeText(record, text, length, kind);
    writeText(record, "\n", 1, TextKind::Narrow);
    std::fflush(record->file);
}

void writeFormatted(Logger *logger, const wchar_t *tag, const char *format, va_list args)
{
    char small[512];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (size_t(length) < sizeof small) {
        writeLine(logger, tag, small, size_t(length), TextKind::Narrow);
    } else {
        std::vector<char> large(size_t(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        writeLine(logger, tag, large.data(), size_t(length), TextKind::Narrow);
    }
    va_end(again);
}

// Reads a pointer field of the host's user-data object by its byte offset.
template <typename T>
T *hostField(const QObjectUserData *data, size_t offset)
{
    T *value;
    std::memcpy(&value, reinterpret_cast<const char *>(data) + offset, sizeof value);
    return value;
}

} // namespace

Logger *diagnosticLogger()
{
    return g_diagnosticLogger.load(std::memory_order_acquire);
}

void setDiagnosticLogger(Logger *logger)
{
    g_diagnosticLogger.store(logger, std::memory_order_release);
}

void setLogTimeSource(LogTimeSource source)
{
    g_timeSource.store(source, std::memory_order_release);
}

void logA(Logger *logger, const char *format, ...)
{
    if (!logger || !logger->record)
        return;
    va_list args;
    va_start(args, format);
    writeFormatted(logger, L"A", format, args);
    va_end(args);
}

void logE(Logger *logger, const char *format, ...)
{
    if (!logger || !logger->record || logger->record->level < 1)
        return;
    va_list args;
    va_start(args, format);
    writeFormatted(logger, L"E", format, args);
    va_end(args);
}

void logToHost(const QString &message)
{
    const QObjectUserData *data = nullptr;
    if (QCoreApplication *app = QCoreApplication::instance()) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        data = app->userData(kHostLogUserDataId);
        QT_WARNING_POP
    }
    Logger *logger = data ? hostField<Logger>(data, kHostBridgeLoggerOffset) : nullptr;
    if (!logger) {
        QMessageLogger().critical().noquote().nospace() << message;
        return;
    }

    QString text = message;
    if (const HostAnonymiser *anonymiser =
            hostField<HostAnonymiser>(data, kHostBridgeAnonymiserOffset)) {
        // An empty form would match between every two characters.
        const QString replacement = QStringLiteral("%USERPROFILE%");
        if (!anonymiser->first.isEmpty())
            text.replace(anonymiser->first, replacement, Qt::CaseInsensitive);
        if (!anonymiser->second.isEmpty())
            text.replace(anonymiser->second, replacement, Qt::CaseInsensitive);
    }
    // Written as it is: the text never passes through a format string.
    const QByteArray latin1 = text.toLatin1();
    writeLine(logger, L"A", latin1.constData(), size_t(latin1.size()), TextKind::Latin1);
}

LocalTime localTime()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts = {};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{uint16_t(parts.tm_year + 1900), uint16_t(parts.tm_mon + 1), uint16_t(parts.tm_mday),
                     uint16_t(parts.tm_hour),        uint16_t(parts.tm_min),     uint16_t(parts.tm_sec),
                     uint16_t(now.tv_nsec / 1000000)};
}
