// Runs a task on a given QThread and blocks the caller until it has run.
// Called from any thread; the await object lives for one awaitInThread call
// and owns a copy of the task.
#pragma once

#include <QObject>
#include <QRunnable>

#include <condition_variable>
#include <functional>
#include <mutex>

class QThread;

namespace __OVO_Private {

// The Qt face of an await object: startRequested() reaches run() through a
// queued connection, so run() executes in the event loop of the object's thread.
class BaseAwaitHelper : public QObject, public QRunnable {
    Q_OBJECT
public:
    BaseAwaitHelper();
    ~BaseAwaitHelper() override;

    // Blocks until run() has recorded completion. Returns with lock released.
    void waitUntilDone();

    bool event(QEvent *e) override;

signals:
    void finished();
    void startRequested();

public slots:
    void run() override = 0;

protected:
    // Records completion under lock and wakes the waiting caller.
    void signalDone();

private:
    std::condition_variable done;
    std::mutex lock;
    bool completed = false; // guarded by lock
};

class VoidAwaitHelper : public BaseAwaitHelper {
public:
    // Throws std::runtime_error("connection error") when run() cannot be
    // connected to startRequested().
    VoidAwaitHelper(QThread *thread, const std::function<void()> &task);
    ~VoidAwaitHelper() override;

    void run() override;

private:
    std::function<void()> task;
};

} // namespace __OVO_Private

// Runs task on thread and returns once it has run. On the calling thread the
// task runs inline; a null thread means one of the global QThreadPool's threads.
// The target thread must be running its event loop.
void awaitInThread(QThread *thread, std::function<void()> task);
