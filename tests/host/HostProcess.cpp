#include "HostProcess.h"

#include <QProcess>
#include <QRegularExpression>

QList<int> HostRun::stateEvents() const
{
    QList<int> result;
    for (int code : events)
        if (code != 7)
            result.append(code);
    return result;
}

QString HostRun::lineStartingWith(const QString &prefix) const
{
    for (const QString &line : lines)
        if (line.startsWith(prefix))
            return line;
    return QString();
}

qint64 HostRun::field(const QString &line, const QString &key)
{
    const QRegularExpression re(QStringLiteral("\\b%1=(\\d+)").arg(QRegularExpression::escape(key)));
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

HostRun runPlayerHost(const QStringList &arguments, int timeoutMs, const QStringList &withoutVariables)
{
    HostRun run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : withoutVariables)
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PLA_PLAYER_HOST), arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromUtf8(process.readAllStandardError());
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression eventLine(QStringLiteral("^event (\\d+) Event\\w+ t=\\d+ms pos=(\\d+)ms$"));
    for (const QString &line : run.lines) {
        const QRegularExpressionMatch m = eventLine.match(line);
        if (m.hasMatch()) {
            run.events.append(m.captured(1).toInt());
            run.eventPositions.append(m.captured(2).toLongLong());
        }
    }
    return run;
}
