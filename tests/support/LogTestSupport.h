// Helpers shared by the log-file tests: reading a file back and readable
// failure output for Qt strings.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <ostream>

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"' << bytes.toPercentEncoding(" :_/\\\"'.-").constData() << '"';
}
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toUtf8().constData() << '"';
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
