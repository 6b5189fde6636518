// A host as a real application is: the built plug-in loaded with dlopen, one
// player in a window, driven only through IMediaPlayer2 on the GUI thread.
#pragma once

#include "IMediaPlayer2.h"
#include "common/SoundRecorder.h"
#include "common/TestSupport.h"

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

class E2EHost {
public:
    // factory: "CreateSw", "CreateHw" or "CreateHwVr"; show false: showWindow later.
    explicit E2EHost(const char *factory = "CreateSw", bool show = true, QSize size = QSize(320, 240));
    ~E2EHost();

    IMediaPlayer2 *player() const { return p; }
    void showWindow();
    void destroyPlayer(); // deletes the player while the window stays

    // Runs a host's actions while the player exists: load:FILE (a test clip's
    // name or a path), open:FILE (load, then wait for EventLoaded), play, pause,
    // stop, seek:MS, volume:PERCENT, wait:MS, until:MS (the clock reaches MS),
    // await:EVENT (e.g. Paused came since the last word before that is not an
    // await). Stops at the first word that fails (reported); returns success.
    bool run(const std::string &script);

    size_t eventCount() const { return codes.size(); }
    int count(int code) const { return int(std::count(codes.begin(), codes.end(), code)); }
    // Codes raised since index from, without EventTimeChanged unless withTimes.
    std::vector<int> codesSince(size_t from, bool withTimes = false) const;

    // The player's widget as it is on the screen; the average colour of its centre.
    QImage grabWidget();
    QColor centreColour();

    // While playing, samples the picture's centre mid-second: it must show the
    // clock's second's kSecondColour (on a busy machine the previous second's,
    // nothing else). Returns how many seconds matched once `seconds` have,
    // EventFinished came or timeoutMs passed.
    int followSeconds(int seconds, int timeoutMs = 12000);

private:
    void *library = nullptr;
    IMediaPlayer2 *p = nullptr;
    std::unique_ptr<QWidget> win;
    std::vector<int> codes;
    size_t mark = 0; // where await looks from
};
