// Keeps Mesa's DRI driver mapped until the process ends. Tests whose
// QApplication closes the display before exit would otherwise unload it, and
// LeakSanitizer then reports the driver's own static allocations from an
// unknown module, which no suppression can match.
#pragma once

// Call while a GL context has been used (e.g. at the end of main, before the
// QApplication goes away). Safe to call without a display or a driver.
void pinGlDriver();
