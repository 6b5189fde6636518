// A BoundedRing behind its own recursive lock: what FreePool and ReadyQueue
// have in common. Every member takes the lock, so any thread may call them;
// the ring is only reached under it. Whatever the ring still holds when it
// dies is deleted with it: it is the last owner at engine shutdown.
#pragma once

#include "player/BoundedRing.h"

#include <mutex>

template <typename T>
class GuardedRing {
public:
    GuardedRing(const GuardedRing &) = delete;
    GuardedRing &operator=(const GuardedRing &) = delete;

    void setCapacity(uint32_t n)
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ring.setCapacity(n);
    }

    // The oldest entry, or null when there is none.
    T *pop()
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.pop();
    }

    uint32_t size() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.size();
    }

    // Held by callers that chain several operations into one step.
    std::recursive_mutex &mutex() { return lock; }

protected:
    GuardedRing() = default;
    ~GuardedRing()
    {
        while (T *p = ring.pop())
            delete p;
    }

    mutable std::recursive_mutex lock;
    BoundedRing<T> ring; // guarded by lock
};
