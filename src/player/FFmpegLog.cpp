#include "player/FFmpegLog.h"

#include "support/LogCategories.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

thread_local std::string *captureTarget = nullptr;
// FFmpeg logs a line in pieces; each thread assembles its own.
thread_local std::string pendingLine;
thread_local int printPrefix = 1;

void emitLine(int level, const QString &line)
{
    if (level <= AV_LOG_ERROR)
        qCWarning(lcFFmpeg).noquote() << line;
    else if (level <= AV_LOG_WARNING)
        qCInfo(lcFFmpeg).noquote() << line;
    else
        qCDebug(lcFFmpeg).noquote() << line;
}

bool enabled(int level)
{
    if (level <= AV_LOG_ERROR)
        return lcFFmpeg().isWarningEnabled();
    if (level <= AV_LOG_WARNING)
        return lcFFmpeg().isInfoEnabled();
    return level <= AV_LOG_DEBUG && lcFFmpeg().isDebugEnabled();
}

void logCallback(void *context, int level, const char *format, va_list args)
{
    if (captureTarget) {
        char text[512];
        vsnprintf(text, sizeof text, format, args);
        *captureTarget += text;
        return;
    }
    if (level >= 0)
        level &= 0xff; // the bits above carry a colour some callers ask for
    if (!enabled(level))
        return;
    char text[1024];
    av_log_format_line2(context, level, format, args, text, sizeof text, &printPrefix);
    pendingLine += text;
    if (pendingLine.empty() || pendingLine.back() != '\n')
        return;
    pendingLine.pop_back();
    emitLine(level, QString::fromUtf8(pendingLine.data(), static_cast<int>(pendingLine.size())));
    pendingLine.clear();
}

} // namespace

void installFFmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logCallback); });
}

FFmpegLogCapture::FFmpegLogCapture(std::string &text) : previous(captureTarget)
{
    captureTarget = &text;
}

FFmpegLogCapture::~FFmpegLogCapture()
{
    captureTarget = previous;
}
