// Text the host shows and prints for plug-in values: event names and times.
// Pure functions, called on the GUI thread.
#pragma once

#include <QString>
#include <cstdint>

// "EventPlaying" for 0 and so on; "Event<code>" for a code the header does not name.
QString eventName(int code);

// "m:ss", or "h:mm:ss" from one hour on; negative values show as 0:00.
QString formatTime(int64_t ms);

// Name of a render-mode code for menus and logs ("Normal", "VR", ...).
QString renderModeName(int code);
