// The player facade a host gets from a factory: forwards IMediaPlayer2 to the
// engine, maps volume and render-mode codes, and delivers engine events to the
// host's callbacks on the thread that owns it (the host's GUI thread).
// Owns the listener proxy, the render widget and the engine.
#pragma once

#include "IMediaPlayer2.h"
#include "player/IInternalPlayer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class GLWidget;

Q_DECLARE_INTERFACE(IMediaPlayer2, "IMediaPlayer2")

class PlayerLibAV : public QObject, public IMediaPlayer2 {
    Q_OBJECT
    Q_INTERFACES(IMediaPlayer2)

public:
    // Turns engine notifications into host event codes. Called on the ticker and
    // host threads; emits the facade's signal, which Qt queues to
    // the facade's thread when needed.
    class ListenerProxy : public IInternalPlayer::IListener {
    public:
        explicit ListenerProxy(PlayerLibAV *owner);
        void onStateChanged(int state) override;
        void onTimeChanged(int64_t ms) override;

    private:
        static int64_t nowUs();

        // Time of the last EventTimeChanged (or of construction), steady clock
        // in µs. Atomic and advanced by compare-exchange, so concurrent callers
        // let at most one event through per window.
        std::atomic<int64_t> lastEmissionUs;
        PlayerLibAV *owner;
    };

    PlayerLibAV(bool hardware, bool vr);
    ~PlayerLibAV() override;

    void play() override;
    void pause() override;
    void stop() override;
    void setCurrentTime(uint64_t ms) override;
    void setVolume(float volume) override;
    void load(const QString &path) override;
    uint64_t currentTime() const override;
    int64_t duration() const override;
    float volume() const override;
    QString filePath() const override;
    bool isPlaying() const override;
    bool isPaused() const override;
    bool isStopped() const override;
    int videoWidth() const override;
    int videoHeight() const override;
    QWidget *widget() const override;
    void setRenderMode(int code) override;
    int renderMode() const override;
    void addListener(const std::function<void(int)> &callback) override;
    PlayerStatistics statistics() const override;

signals:
    void forwardEventToQtThread(int event);

private slots:
    void onEventFromInternalPlayer(int event);

private:
    // The host's callbacks and whether their player still exists. Shared with
    // each delivery in progress, so a callback that deletes the player (or adds
    // a callback) leaves the callback it runs in, and the list, intact until the
    // delivery has returned. A deque: adding never moves a callback.
    struct Callbacks {
        std::deque<std::function<void(int)>> list; // owning thread only
        bool playerAlive = true;                   // owning thread only
    };

    ListenerProxy *listenerProxy = nullptr;
    std::shared_ptr<Callbacks> listeners = std::make_shared<Callbacks>();
    GLWidget *view = nullptr;
    IInternalPlayer *player = nullptr;
    QString filePathValue;
};
