// FFmpeg's log output, which is process-wide: installFFmpegLog() routes it into
// the playerlibav.ffmpeg category once per process (every level off by
// default), and an FFmpegLogCapture collects what one thread logs meanwhile.
// Any thread may log through FFmpeg; the capture only sees its own thread.
#pragma once

#include <string>

// Installs the callback on the first call; later calls do nothing, so a host
// that installs its own callback afterwards keeps it.
void installFFmpegLog();

// While it lives, FFmpeg's messages logged on the constructing thread are
// appended to text (each message cut to 511 characters) instead of the category.
class FFmpegLogCapture {
public:
    explicit FFmpegLogCapture(std::string &text);
    ~FFmpegLogCapture();
    FFmpegLogCapture(const FFmpegLogCapture &) = delete;
    FFmpegLogCapture &operator=(const FFmpegLogCapture &) = delete;

private:
    std::string *previous;
};
