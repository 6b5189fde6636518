#include "plugin/PlayerLibAV.h"

#include <chrono>

namespace {

// Engine state -> host event code; -1 for the states the host does not hear.
int eventForState(int state)
{
    switch (state) {
    case Loaded:
        return EventLoaded;
    case LoadFailed:
        return EventLoadFailed;
    case Playing:
        return EventPlaying;
    case Paused:
        return EventPaused;
    case Finished:
        return EventFinished;
    case Stopped:
        return EventStopped;
    default:
        return -1;
    }
}

} // namespace

PlayerLibAV::ListenerProxy::ListenerProxy(PlayerLibAV *owner) : lastEmissionUs(nowUs()), owner(owner)
{
}

int64_t PlayerLibAV::ListenerProxy::nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PlayerLibAV::ListenerProxy::onStateChanged(int state)
{
    const int event = eventForState(state);
    if (event >= 0)
        emit owner->forwardEventToQtThread(event);
}

void PlayerLibAV::ListenerProxy::onTimeChanged(int64_t)
{
    int64_t last = lastEmissionUs.load();
    const int64_t now = nowUs();
    // Whole milliseconds, as a stopwatch would report them: more than 10 passes.
    if ((now - last) / 1000 <= 10)
        return;
    // Of two callers that both saw the window open, only one wins the exchange.
    if (!lastEmissionUs.compare_exchange_strong(last, now))
        return;
    emit owner->forwardEventToQtThread(EventTimeChanged);
}
