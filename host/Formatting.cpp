#include "Formatting.h"

#include "IMediaPlayer2.h"

QString eventName(int code)
{
    switch (code) {
    case EventPlaying: return QStringLiteral("EventPlaying");
    case EventPaused: return QStringLiteral("EventPaused");
    case EventStopped: return QStringLiteral("EventStopped");
    case EventFinished: return QStringLiteral("EventFinished");
    case EventLoaded: return QStringLiteral("EventLoaded");
    case EventLoadFailed: return QStringLiteral("EventLoadFailed");
    case EventTimeChanged: return QStringLiteral("EventTimeChanged");
    default: return QStringLiteral("Event%1").arg(code);
    }
}

QString eventDescription(int code)
{
    switch (code) {
    case EventPlaying: return QStringLiteral("playing");
    case EventPaused: return QStringLiteral("paused");
    case EventStopped: return QStringLiteral("stopped");
    case EventFinished: return QStringLiteral("finished");
    case EventLoaded: return QStringLiteral("loaded");
    case EventLoadFailed: return QStringLiteral("could not open the file");
    case EventTimeChanged: return QStringLiteral("position changed");
    default: return QStringLiteral("event %1").arg(code);
    }
}

QString formatTime(int64_t ms)
{
    const int64_t totalSeconds = ms > 0 ? ms / 1000 : 0;
    const int64_t hours = totalSeconds / 3600;
    const int64_t minutes = (totalSeconds / 60) % 60;
    const int64_t seconds = totalSeconds % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(seconds, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

QString renderModeName(int code)
{
    switch (code) {
    case RenderModeNormal: return QStringLiteral("Flat");
    case RenderModeNone1: return QStringLiteral("Mode 1 (no picture)");
    case RenderModeNone2: return QStringLiteral("Mode 2 (no picture)");
    case RenderModeVR: return QStringLiteral("360° / VR");
    default: return QStringLiteral("Mode %1").arg(code);
    }
}

QString rateText(int64_t count, const QString &what)
{
    return QStringLiteral("%1 %2 a second").arg(count).arg(what);
}
