// Reads a log file back whole; empty when it is not there.
#pragma once

#include <QByteArray>
#include <QFile>

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
