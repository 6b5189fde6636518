// Fixed-capacity FIFO ring of object pointers. Not thread-safe on its own:
// GuardedRing wraps it with a lock for FreePool and ReadyQueue.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

template <typename T>
class BoundedRing {
public:
    void setCapacity(uint32_t n)
    {
        if (n == capacity)
            return;
        std::vector<T *> next(n, nullptr);
        const uint32_t kept = std::min(count, n);
        for (uint32_t i = 0; i < kept; ++i)
            next[i] = storage[(head + i) % capacity];
        storage.swap(next);
        head = 0;
        count = kept;
        capacity = n;
    }

    // Stores p unless the ring is full; the caller keeps p when it returns false.
    bool push(T *p)
    {
        if (count >= capacity)
            return false;
        storage[(head + count) % capacity] = p;
        ++count;
        return true;
    }

    T *pop()
    {
        if (count == 0)
            return nullptr;
        T *p = storage[head];
        storage[head] = nullptr;
        head = (head + 1) % capacity;
        --count;
        return p;
    }

    T *front() const { return count == 0 ? nullptr : storage[head]; }
    T *back() const { return count == 0 ? nullptr : storage[(head + count - 1) % capacity]; }
    uint32_t size() const { return count; }
    uint32_t getCapacity() const { return capacity; }
    bool isFull() const { return count >= capacity; }
    bool isEmpty() const { return count == 0; }

private:
    std::vector<T *> storage;
    uint32_t head = 0;
    uint32_t capacity = 0;
    uint32_t count = 0;
};
