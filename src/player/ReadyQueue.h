// Filled objects waiting for their consumer (the frame pusher or the audio
// device). onHold is written under the queue's lock and read by consumers
// without it, hence atomic; while it is set consumers take nothing.
#pragma once

#include "player/FreePool.h"
#include "player/GuardedRing.h"

#include <atomic>
#include <mutex>

template <typename T>
class ReadyQueue : public GuardedRing<T> {
public:
    bool push(T *p)
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.push(p);
    }

    // Consumer side: the oldest entry, or nothing while the queue is on hold.
    // pop() takes the oldest entry regardless of onHold (the engine's flushes).
    T *take()
    {
        if (held.load())
            return nullptr;
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (held.load())
            return nullptr;
        return ring.pop();
    }

    T *front() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.front();
    }
    T *back() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.back();
    }

    void setOnHold(bool on)
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        held.store(on);
    }
    bool onHold() const { return held.load(); }

private:
    using GuardedRing<T>::lock;
    using GuardedRing<T>::ring;
    std::atomic<bool> held{false};
};

// Gives every queued entry back to its pool, holding the queue's lock while the
// pool's is taken.
template <typename T>
void flushReady(ReadyQueue<T> &queue, FreePool<T> &pool)
{
    std::lock_guard<std::recursive_mutex> guard(queue.mutex());
    while (T *p = queue.pop()) {
        if (!pool.giveBack(p))
            delete p; // cannot happen while the pool is as large as its objects
    }
}
