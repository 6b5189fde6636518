#include "plugin/PlayerLibAV.h"

#include "player/InternalPlayer.h"
#include "render/GLWidget.h"

#include <algorithm>

namespace {

// The host numbers render modes differently: 1 and 3 swap, the mapping is its
// own inverse.
int mapModeCode(int code)
{
    switch (code) {
    case 1:
        return 3;
    case 3:
        return 1;
    default:
        return code;
    }
}

} // namespace

PlayerLibAV::PlayerLibAV(bool hardware, bool vr) : QObject(nullptr)
{
    view = new GLWidget(nullptr);
    listenerProxy = new ListenerProxy(this);
    connect(this, &PlayerLibAV::forwardEventToQtThread, this, &PlayerLibAV::onEventFromInternalPlayer,
            Qt::AutoConnection);
    player = new InternalPlayer(listenerProxy, view, view, hardware, vr);
}

PlayerLibAV::~PlayerLibAV()
{
    // Tearing down the audio output runs a nested event loop, which would
    // deliver queued events to the host while its player is being deleted.
    listeners->playerAlive = false;
    delete player;
    player = nullptr;
    delete view;
    view = nullptr;
    filePathValue.clear();
    listeners.reset();
    delete listenerProxy;
    listenerProxy = nullptr;
}

void PlayerLibAV::play()
{
    player->play();
}

void PlayerLibAV::pause()
{
    player->pause();
}

void PlayerLibAV::stop()
{
    player->stop();
}

void PlayerLibAV::setCurrentTime(uint64_t ms)
{
    player->setCurrentTime(ms);
}

void PlayerLibAV::setVolume(float volume)
{
    // Truncation toward zero before limiting: 0.999 is 99 percent. A NaN
    // would make the conversion undefined; it counts as silence.
    const float scaled = volume * 100.0f;
    int percent = 0;
    if (scaled >= 100.0f)
        percent = 100;
    else if (scaled > 0.0f)
        percent = static_cast<int>(scaled);
    player->setVolume(percent);
}

void PlayerLibAV::load(const QString &path)
{
    filePathValue = path;
    player->loadVideo(path.toStdString());
}

uint64_t PlayerLibAV::currentTime() const
{
    return player->currentTime();
}

int64_t PlayerLibAV::duration() const
{
    return player->duration();
}

float PlayerLibAV::volume() const
{
    float f = static_cast<float>(player->volume()) * 0.01f;
    if (f > 1.0f)
        f = 1.0f;
    return std::max(f, 0.0f);
}

QString PlayerLibAV::filePath() const
{
    return filePathValue;
}

bool PlayerLibAV::isPlaying() const
{
    return player->isPlaying();
}

bool PlayerLibAV::isPaused() const
{
    return !player->isPlaying();
}

bool PlayerLibAV::isStopped() const
{
    return !player->isPlaying();
}

int PlayerLibAV::videoWidth() const
{
    return player->videoWidth();
}

int PlayerLibAV::videoHeight() const
{
    return player->videoHeight();
}

QWidget *PlayerLibAV::widget() const
{
    return view;
}

void PlayerLibAV::setRenderMode(int code)
{
    if (code < 0 || code > 3)
        return;
    player->setMode(static_cast<IInternalPlayer::Mode>(mapModeCode(code)));
}

int PlayerLibAV::renderMode() const
{
    const int m = player->mode();
    if (m < 0 || m > 3)
        return 0;
    return mapModeCode(m);
}

void PlayerLibAV::addListener(const std::function<void(int)> &callback)
{
    listeners->list.push_back(callback);
}

PlayerStatistics PlayerLibAV::statistics() const
{
    PlayerStatistics s;
    s.videoDecodeRate = player->videoDecodeRate();
    s.audioDecodeRate = player->audioDecodeRate();
    s.renderRate = static_cast<int64_t>(view->renderRate());
    return s;
}

void PlayerLibAV::onEventFromInternalPlayer(int event)
{
    // Each registered callback itself is called, so one with state of its own
    // sees it change. Callbacks added during this delivery wait for the next
    // event; after a callback deleted the player, none is called any more and
    // nothing of the player is touched.
    const std::shared_ptr<Callbacks> callbacks = listeners;
    const size_t count = callbacks->list.size();
    for (size_t i = 0; i < count && callbacks->playerAlive; ++i)
        callbacks->list[i](event);
}
