#include "ScriptRunner.h"

#include "Formatting.h"
#include "IMediaPlayer2.h"
#include "MainWindow.h"

#include <QImage>
#include <QTimer>

#include <cstdio>

namespace {

// Painting goes on every few milliseconds; a pause is on screen well within this.
constexpr int kSettleMs = 300;

} // namespace

ScriptRunner::ScriptRunner(MainWindow *window, const HostOptions &options, const QElapsedTimer &clock,
                           QObject *parent)
    : QObject(parent), window(window), options(options), clock(clock)
{
    seekDone = options.seekMs < 0;
    connect(window, &MainWindow::playerEvent, this, &ScriptRunner::onEvent);
}

void ScriptRunner::start()
{
    if (options.exitAfterMs >= 0)
        QTimer::singleShot(static_cast<int>(options.exitAfterMs), this,
                           [this] { end(QStringLiteral("exit-after")); });
    QTimer::singleShot(static_cast<int>(options.timeoutMs), this, [this] {
        if (done)
            return;
        std::fprintf(stderr, "player-host: the script did not end within %lld ms\n",
                     static_cast<long long>(options.timeoutMs));
        finish(TimedOut);
    });
    // The rates while playing, once a second: the last second's figures at the
    // end alone say little about how the playback went.
    auto *rates = new QTimer(this);
    connect(rates, &QTimer::timeout, this, [this] {
        if (done || !window->player()->isPlaying())
            return;
        const PlayerStatistics stats = window->player()->statistics();
        print(QStringLiteral("rates videoDecodeRate=%1 audioDecodeRate=%2 renderRate=%3 t=%4ms pos=%5ms")
                  .arg(stats.videoDecodeRate)
                  .arg(stats.audioDecodeRate)
                  .arg(stats.renderRate)
                  .arg(now())
                  .arg(window->player()->currentTime()));
    });
    rates->start(1000);
    print(QStringLiteral("action load %1 t=%2ms").arg(options.file).arg(now()));
    window->openFile(options.file, false);
}

void ScriptRunner::print(const QString &line) const
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void ScriptRunner::onEvent(int code)
{
    IMediaPlayer2 *player = window->player();
    print(QStringLiteral("event %1 %2 t=%3ms pos=%4ms")
              .arg(code)
              .arg(eventName(code))
              .arg(now())
              .arg(player->currentTime()));
    if (done)
        return;
    switch (code) {
    case EventLoaded:
        // The plug-in is still inside load(); act once it has returned.
        QTimer::singleShot(0, this, &ScriptRunner::afterLoad);
        break;
    case EventLoadFailed:
        std::fprintf(stderr, "player-host: load failed: %s could not be opened\n", qPrintable(options.file));
        QTimer::singleShot(0, this, [this] { finish(LoadFailed); });
        break;
    case EventPlaying:
        if (seekIssued)
            seekDone = true;
        QTimer::singleShot(0, this, &ScriptRunner::afterPlaying);
        break;
    case EventPaused:
        if (pauseRequested)
            QTimer::singleShot(kSettleMs, this, [this] { end(QStringLiteral("paused")); });
        break;
    case EventFinished:
        QTimer::singleShot(kSettleMs, this, [this] { end(QStringLiteral("finished")); });
        break;
    case EventTimeChanged:
        checkPosition();
        break;
    default:
        break;
    }
}

void ScriptRunner::afterLoad()
{
    IMediaPlayer2 *player = window->player();
    print(QStringLiteral("loaded %1 duration=%2ms size=%3x%4 mode=%5 volume=%6")
              .arg(player->filePath())
              .arg(player->duration())
              .arg(player->videoWidth())
              .arg(player->videoHeight())
              .arg(player->renderMode())
              .arg(static_cast<double>(player->volume())));
    if (done || playRequested)
        return;
    playRequested = true;
    print(QStringLiteral("action play t=%1ms").arg(now()));
    player->play();
}

void ScriptRunner::afterPlaying()
{
    if (done || ending)
        return;
    IMediaPlayer2 *player = window->player();
    if (options.seekMs >= 0 && !seekIssued) {
        seekIssued = true;
        print(QStringLiteral("action seek %1 t=%2ms").arg(options.seekMs).arg(now()));
        player->setCurrentTime(static_cast<uint64_t>(options.seekMs));
        // An accepted seek leaves the Playing state until it completes; a refused
        // one (the position is already there) changes nothing and sends no event.
        if (!player->isPlaying())
            return;
        print(QStringLiteral("seek refused t=%1ms").arg(now()));
        seekDone = true;
    }
    // --play-for counts from the moment playback really runs, after any seek.
    if (options.playForMs >= 0 && seekDone && !playForArmed) {
        playForArmed = true;
        QTimer::singleShot(static_cast<int>(options.playForMs), this,
                           [this] { pauseNow(QStringLiteral("play-for")); });
    }
    checkPosition();
}

void ScriptRunner::checkPosition()
{
    if (done || ending || !seekDone)
        return;
    const int64_t position = static_cast<int64_t>(window->player()->currentTime());
    for (int i = 0; i < options.screenshotsAt.size(); ++i) {
        if (!screenshotsTaken.contains(i) && position >= options.screenshotsAt[i].first) {
            screenshotsTaken.insert(i);
            saveScreenshot(options.screenshotsAt[i].second);
        }
    }
    if (options.pauseAtMs >= 0 && position >= options.pauseAtMs)
        pauseNow(QStringLiteral("pause-at"));
}

void ScriptRunner::pauseNow(const QString &why)
{
    if (done || ending || pauseRequested)
        return;
    pauseRequested = true;
    print(QStringLiteral("action pause (%1) t=%2ms pos=%3ms").arg(why).arg(now()).arg(window->player()->currentTime()));
    window->player()->pause();
}

void ScriptRunner::end(const QString &why)
{
    if (done || ending)
        return;
    ending = true;
    print(QStringLiteral("action end (%1) t=%2ms pos=%3ms").arg(why).arg(now()).arg(window->player()->currentTime()));
    if (!options.screenshot.isEmpty())
        saveScreenshot(options.screenshot);
    finish(screenshotFailed ? ScreenshotFailed : Success);
}

void ScriptRunner::finish(int status)
{
    if (done)
        return;
    done = true;
    const PlayerStatistics stats = window->player()->statistics();
    print(QStringLiteral("statistics videoDecodeRate=%1 audioDecodeRate=%2 renderRate=%3")
              .arg(stats.videoDecodeRate)
              .arg(stats.audioDecodeRate)
              .arg(stats.renderRate));
    print(QStringLiteral("exit %1 t=%2ms").arg(status).arg(now()));
    emit finished(status);
}

bool ScriptRunner::saveScreenshot(const QString &path)
{
    const QImage image = window->grabVideo();
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "player-host: cannot save a screenshot to %s\n", qPrintable(path));
        screenshotFailed = true;
        return false;
    }
    print(QStringLiteral("screenshot %1 %2x%3 t=%4ms pos=%5ms")
              .arg(path)
              .arg(image.width())
              .arg(image.height())
              .arg(now())
              .arg(window->player()->currentTime()));
    return true;
}
