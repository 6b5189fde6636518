// Idle objects of one type waiting to be filled. Every operation takes the
// pool's own recursive lock; whatever is still idle when the pool dies is
// deleted with it.
#pragma once

#include "player/GuardedRing.h"

#include <mutex>

template <typename T>
class FreePool : public GuardedRing<T> {
public:
    // Stores p if there is room and then clears the caller's pointer; a full
    // pool leaves p set and returns false.
    bool giveBack(T *&p)
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (!ring.push(p))
            return false;
        p = nullptr;
        return true;
    }

    uint32_t capacity() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.getCapacity();
    }
    bool isFull() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.isFull();
    }
    bool isEmpty() const
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return ring.isEmpty();
    }

private:
    using GuardedRing<T>::lock;
    using GuardedRing<T>::ring;
};

// Deletes every idle object of the pool.
template <typename T>
void clearPool(FreePool<T> &pool)
{
    std::lock_guard<std::recursive_mutex> guard(pool.mutex());
    while (T *p = pool.pop())
        delete p;
}
