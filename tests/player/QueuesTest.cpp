// The rings, pools and ready queues through which frames and audio buffers
// circulate between the demux thread and the consumers.
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

struct Counted {
    static inline int deleted = 0;
    ~Counted() { ++deleted; }
};

// A ready queue and a pool of three, step by step: the queue refuses before
// it has a capacity and when full, keeps its order across the wrap and may be
// resized once empty; the hold stops take() but not the engine's pop(); a
// flush gives everything back whatever the hold.
TEST(Queues, RingOrderHoldFlushAndGiveBack)
{
    Counted items[6], *first = &items[0], *second = &items[1];
    ReadyQueue<Counted> queue;
    FreePool<Counted> pool;
    pool.setCapacity(3);
    EXPECT_FALSE(queue.push(first));
    queue.setCapacity(4);
    for (int i : {0, 1, 2})
        queue.push(&items[i]);
    queue.pop();
    queue.pop();
    for (int i : {3, 4, 5}) // wraps to the start of the storage
        EXPECT_TRUE(queue.push(&items[i]));
    EXPECT_FALSE(queue.push(first));
    queue.setCapacity(5); // a wrapped ring keeps its order when resized
    queue.setOnHold(true);
    EXPECT_EQ(queue.take(), nullptr);
    EXPECT_EQ(queue.pop(), &items[2]) << "the engine's own pops ignore the hold";
    queue.setOnHold(false);
    EXPECT_EQ(queue.take(), &items[3]);
    queue.setOnHold(true);
    flushReady(queue, pool);
    EXPECT_EQ(queue.front(), nullptr);
    // A refused give-back leaves the caller its pointer, so the caller can delete it.
    EXPECT_TRUE(pool.giveBack(first) && first == nullptr);
    EXPECT_TRUE(!pool.giveBack(second) && second == &items[1]);
    for (Counted *p : {&items[4], &items[5], &items[0], static_cast<Counted *>(nullptr)})
        EXPECT_EQ(pool.pop(), p);
    queue.setCapacity(1); // the engine resizes only empty containers, between files
    EXPECT_TRUE(queue.push(&items[2]) && !queue.push(&items[3]));
    queue.pop();
}

// A consumer that found the queue free and waits for its lock while the queue
// is put on hold takes nothing once it has the lock.
TEST(Queues, HoldSetWhileAConsumerWaitsForTheLockStopsIt)
{
    Counted item, *p = &item, *taken = &item;
    ReadyQueue<Counted> queue;
    queue.setCapacity(1);
    queue.push(p);
    std::unique_lock<std::recursive_mutex> guard(queue.mutex());
    std::thread consumer([&] { taken = queue.take(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the consumer waits for the lock
    queue.setOnHold(true);
    guard.unlock();
    consumer.join();
    EXPECT_EQ(taken, nullptr);
    EXPECT_EQ(queue.pop(), &item);
}

// Owned objects circulating between a producer and a consumer thread, as
// between the decoder and the audio device: none is lost and no container is
// ever found full; clearPool then deletes them.
TEST(Queues, CirculationLosesNothingAndClearPoolDeletes)
{
    constexpr int kObjects = 16, kRounds = 20000;
    FreePool<Counted> pool;
    ReadyQueue<Counted> queue;
    pool.setCapacity(kObjects);
    queue.setCapacity(kObjects);
    for (int i = 0; i < kObjects; ++i) {
        Counted *p = new Counted;
        ASSERT_TRUE(pool.giveBack(p));
    }
    std::atomic<int> refused{0};
    std::thread consumer([&] {
        for (int consumed = 0; consumed + refused < kRounds;) {
            if (Counted *p = queue.take()) {
                ++consumed;
                refused += !pool.giveBack(p);
            } else {
                std::this_thread::yield();
            }
        }
    });
    for (int produced = 0; produced < kRounds;) {
        if (Counted *p = pool.pop()) {
            ++produced;
            refused += !queue.push(p);
        } else {
            std::this_thread::yield();
        }
    }
    consumer.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(pool.size(), uint32_t(kObjects));
    Counted::deleted = 0;
    clearPool(pool);
    EXPECT_EQ(Counted::deleted, kObjects);
    EXPECT_TRUE(pool.isEmpty());
}

} // namespace
