// Test seam of the logger: the clock that stamps each log-file line.
// Not part of the plug-in's interface.
#pragma once

#include "support/Logger.h"

using LogTimeSource = LocalTime (*)();

// nullptr restores localTime. Safe to call while other threads log.
void setLogTimeSource(LogTimeSource source);
