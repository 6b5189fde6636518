#include "player/OwnerThreadQueue.h"

#include "player/QueuedHandOff.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
// One wake-up event per post; a wake-up that finds the queue empty (an earlier
// one ran its call) does nothing.
const QEvent::Type kWakeUp = QEvent::User;
} // namespace

OwnerThreadQueue::OwnerThreadQueue() : QObject(nullptr)
{
}

OwnerThreadQueue::~OwnerThreadQueue() = default;

void OwnerThreadQueue::post(std::function<void()> call)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        pending.push_back(std::move(call));
    }
    auto *wakeUp = new QEvent(kWakeUp);
    handOffRelease(this);
    QCoreApplication::postEvent(this, wakeUp);
}

bool OwnerThreadQueue::event(QEvent *e)
{
    handOffAcquire(this);
    if (e->type() != kWakeUp)
        return QObject::event(e);
    std::function<void()> call;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (pending.empty())
            return true;
        call = std::move(pending.front());
        pending.pop_front();
    }
    // Run with the lock released: the call may post, or delete this queue's
    // owner (and with it this queue), after which nothing here is touched.
    call();
    return true;
}
