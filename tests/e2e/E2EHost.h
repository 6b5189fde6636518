// A test host as a real application would be: loads the built plug-in with
// dlopen, creates a player through one factory, embeds its widget in a shown
// window and drives it only through IMediaPlayer2 on the GUI thread.
#pragma once

#include "IMediaPlayer2.h"
#include "common/TestSupport.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class E2EHost {
public:
    // factory: "CreateSw", "CreateHw" or "CreateHwVr". The window is shown
    // unless show is false (then call showWindow later).
    explicit E2EHost(const char *factory = "CreateSw", bool show = true, QSize size = QSize(320, 240));
    ~E2EHost();

    IMediaPlayer2 *player() const { return p; }
    QWidget *window() const { return win.get(); }
    void showWindow();
    void destroyPlayer(); // deletes the player while the window stays

    // Loads and waits for EventLoaded or EventLoadFailed; returns that code (or -1).
    int loadAndWait(const std::string &path, int timeoutMs = 20000);

    size_t eventCount() const { return codes.size(); }
    int count(int code) const;
    // Codes raised since index from, without EventTimeChanged unless withTimes.
    std::vector<int> codesSince(size_t from, bool withTimes = false) const;
    bool waitForEvent(int code, int timeoutMs, size_t from = 0);

    // Average colour of the centre of the player's widget as it is on the screen.
    QColor centreColour();
    // The widget's pixels as they are on the screen.
    QImage grabWidget();

    qint64 nowUs() const { return sinceStart.nsecsElapsed() / 1000; }

    // While playing, samples the centre of the picture mid-second: it must show
    // kSecondColour of the clock's second (on a busy machine the previous
    // second's is tolerated, nothing else). Returns how many seconds matched
    // once `seconds` have, EventFinished came or timeoutMs passed. firstPictureUs:
    // when the first picture that is not black was seen.
    int followSeconds(int seconds, int timeoutMs = 12000, qint64 *firstPictureUs = nullptr);

private:
    void *library = nullptr;
    IMediaPlayer2 *p = nullptr;
    std::unique_ptr<QWidget> win;
    std::vector<int> codes;
    QElapsedTimer sinceStart;
};
