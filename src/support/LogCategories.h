// The library's Qt logging categories, one per component. Debug lines are off
// by default and come back with QT_LOGGING_RULES (for example
// "playerlibav.demux.debug=true" or "playerlibav.*.debug=true"); warnings and
// errors are always on, except in playerlibav.ffmpeg, where every level is off
// until a rule turns it on ("playerlibav.ffmpeg.warning=true").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)
Q_DECLARE_LOGGING_CATEGORY(lcDemux)
Q_DECLARE_LOGGING_CATEGORY(lcAudio)
Q_DECLARE_LOGGING_CATEGORY(lcRender)
Q_DECLARE_LOGGING_CATEGORY(lcCuda)
Q_DECLARE_LOGGING_CATEGORY(lcPlugin)
Q_DECLARE_LOGGING_CATEGORY(lcFFmpeg)
