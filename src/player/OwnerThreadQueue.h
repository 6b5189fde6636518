// Calls posted from any thread and run, in posting order, by the event loop of
// the thread that made the queue (the owner). Posting never waits for the
// owner. Calls still pending when the queue is deleted are dropped, not run.
// Owns the pending calls.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QEvent;

class OwnerThreadQueue : public QObject {
public:
    OwnerThreadQueue();
    ~OwnerThreadQueue() override;

    // Any thread.
    void post(std::function<void()> call);

protected:
    bool event(QEvent *e) override;

private:
    std::mutex lock;
    std::deque<std::function<void()>> pending; // guarded by lock
};
