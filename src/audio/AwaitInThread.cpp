#include "audio/AwaitInThread.h"

#include "player/QueuedHandOff.h"

#include <QThread>
#include <QThreadPool>

#include <stdexcept>

namespace __OVO_Private {

BaseAwaitHelper::BaseAwaitHelper() : QObject(nullptr), QRunnable() {}

BaseAwaitHelper::~BaseAwaitHelper()
{
    // A run() still inside signalDone() holds lock; wait for it to let go
    // before the mutex and the condition variable are destroyed.
    std::lock_guard<std::mutex> barrier(lock);
}

void BaseAwaitHelper::signalDone()
{
    std::lock_guard<std::mutex> guard(lock);
    completed = true;
    done.notify_one();
}

void BaseAwaitHelper::waitUntilDone()
{
    // The flag makes a run() that finished before we got here release us at
    // once, and keeps a spurious wake-up from ending the wait.
    std::unique_lock<std::mutex> guard(lock);
    done.wait(guard, [this] { return completed; });
}

VoidAwaitHelper::VoidAwaitHelper(QThread *thread, const std::function<void()> &task) : task(task)
{
    if (!QObject::connect(this, SIGNAL(startRequested()), this, SLOT(run()), Qt::QueuedConnection))
        throw std::runtime_error("connection error");
    moveToThread(thread);
}

VoidAwaitHelper::~VoidAwaitHelper() = default;

bool BaseAwaitHelper::event(QEvent *e)
{
    // The queued start reaches run() through here, before any of this object
    // is read on the target thread.
    handOffAcquire(this);
    return QObject::event(e);
}

void VoidAwaitHelper::run()
{
    // From the global pool run() is called directly, not through event().
    handOffAcquire(static_cast<BaseAwaitHelper *>(this));
    task();
    emit finished();
    signalDone();
}

} // namespace __OVO_Private

void awaitInThread(QThread *thread, std::function<void()> task)
{
    if (thread && thread == QThread::currentThread()) {
        if (task)
            task();
        return;
    }

    auto *helper = new __OVO_Private::VoidAwaitHelper(thread, task);
    helper->setAutoDelete(false);
    handOffRelease(static_cast<__OVO_Private::BaseAwaitHelper *>(helper));
    if (thread)
        emit helper->startRequested();
    else
        QThreadPool::globalInstance()->start(helper, 0);

    helper->waitUntilDone();

    if (thread) {
        // The target thread is still inside the queued-call dispatch when run()
        // has signalled: QObject::event() touches the receiver again on its way
        // out. Deleting from its own event loop is the first safe moment.
        helper->deleteLater();
    } else {
        // With auto-delete off the pool reads the flag before run() and never
        // touches the runnable afterwards, so it is ours again.
        delete helper;
    }
}
