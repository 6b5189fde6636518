// Scripted mode: loads the file in a MainWindow, plays, seeks, pauses and saves
// screenshots as the options say, prints every event with its time on stdout and
// ends the application with an exit status. Runs on the GUI thread.
#pragma once

#include "CommandLine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>

class MainWindow;

class ScriptRunner : public QObject {
    Q_OBJECT

public:
    // Exit statuses of a script.
    enum Status { Success = 0, LoadFailed = 1, TimedOut = 3, ScreenshotFailed = 4 };

    // clock: started when the program started; event times are read from it.
    ScriptRunner(MainWindow *window, const HostOptions &options, const QElapsedTimer &clock,
                 QObject *parent = nullptr);

    void start();

signals:
    // The script is over; the application should exit with status.
    void finished(int status);

private:
    void onEvent(int code);
    void afterLoad();
    void afterPlaying();
    void checkPosition();
    void pauseNow(const QString &why);
    void end(const QString &why);
    void finish(int status);
    bool saveScreenshot(const QString &path);
    void print(const QString &line) const;
    qint64 now() const { return clock.elapsed(); }

    MainWindow *window;
    HostOptions options;
    const QElapsedTimer &clock;

    bool playRequested = false;
    bool seekIssued = false;
    bool seekDone = false; // no seek asked, or its completion seen
    bool playForArmed = false;
    bool pauseRequested = false;
    bool ending = false;
    bool done = false;
    bool screenshotFailed = false;
    QSet<int> screenshotsTaken; // indices into options.screenshotsAt
};
