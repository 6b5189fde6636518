// Diagnostic text: engine messages through a process-wide Logger (empty unless
// an embedding installs one), host log-file lines through the application
// object's user data, and Qt's message logger for traces.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class QString;

// State of one log file; the layout is shared with the host application.
struct LogFileRecord {
    FILE *file;
    int32_t level;   // level-E lines only when >= 1
    bool truncate;   // open from the start instead of appending
    int32_t unused;
    int32_t encoding; // 1: UTF-16LE text
    std::wstring path;
};

struct Logger {
    LogFileRecord *record;
};

// The process-wide diagnostic logger; null at start.
Logger *diagnosticLogger();
void setDiagnosticLogger(Logger *logger);

void logA(Logger *logger, const char *format, ...) __attribute__((format(printf, 2, 3)));
void logE(Logger *logger, const char *format, ...) __attribute__((format(printf, 2, 3)));

// One line for the host's log file, or Qt's critical output without one.
void logToHost(const QString &message);

struct LocalTime {
    uint16_t year, month, day, hour, minute, second, millisecond;
};
LocalTime localTime();
