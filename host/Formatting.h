// Text the host shows and prints for plug-in values: event names, times, rates.
// Pure functions, called on the GUI thread.
#pragma once

#include <QString>
#include <cstdint>

// "EventPlaying" for 0 and so on; "Event<code>" for a code the header does not name.
QString eventName(int code);

// What an event says, in words for the status line: "playing", "position changed".
QString eventDescription(int code);

// "m:ss", or "h:mm:ss" from one hour on; negative values show as 0:00.
QString formatTime(int64_t ms);

// Name of a render-mode code for menus and logs ("Flat", "360° / VR", ...).
QString renderModeName(int code);

// "30 pictures a second" from (30, "pictures").
QString rateText(int64_t count, const QString &what);
