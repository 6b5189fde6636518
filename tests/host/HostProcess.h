// Runs player-host as a child process and splits what it printed: the event log,
// the other log lines and the error output.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct HostRun {
    int exitCode = -1;
    bool finished = false;
    QStringList lines;  // stdout, one entry per line
    QString errors;     // stderr
    QList<int> events;  // codes of the "event" lines, in order
    QList<qint64> eventPositions; // their pos= values

    // Events other than EventTimeChanged, in order.
    QList<int> stateEvents() const;
    // The first line that starts with prefix, or an empty string.
    QString lineStartingWith(const QString &prefix) const;
    // The integer after "key=" in line, or -1.
    static qint64 field(const QString &line, const QString &key);
};

// withoutVariables: environment variables taken away from the child (DISPLAY...).
HostRun runPlayerHost(const QStringList &arguments, int timeoutMs = 120000,
                      const QStringList &withoutVariables = {});
