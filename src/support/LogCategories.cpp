#include "support/LogCategories.h"

// QtInfoMsg: debug off unless a logging rule turns it on.
Q_LOGGING_CATEGORY(lcEngine, "playerlibav.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDemux, "playerlibav.demux", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAudio, "playerlibav.audio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRender, "playerlibav.render", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCuda, "playerlibav.cuda", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlugin, "playerlibav.plugin", QtInfoMsg)
// FFmpeg's own messages (errors as warnings, its warnings as info): all off by
// default, since a damaged file makes FFmpeg report every flaw it meets.
Q_LOGGING_CATEGORY(lcFFmpeg, "playerlibav.ffmpeg", QtCriticalMsg)
