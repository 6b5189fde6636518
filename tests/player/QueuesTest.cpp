// The pools and ready queues frames and sound buffers circulate through.
#include "PlayerTestSupport.h"
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

TEST(Queues, RingOrderHoldFlushAndGiveBack)
{
    Counted items[6], *first = &items[0], *second = &items[1];
    ReadyQueue<Counted> queue;
    FreePool<Counted> pool;
    pool.setCapacity(3);
    EXPECT_FALSE(queue.push(first)) << "no capacity yet";
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
    flushReady(queue, pool); // whatever the hold
    EXPECT_EQ(queue.front(), nullptr);
    EXPECT_TRUE(pool.giveBack(first) && first == nullptr);
    EXPECT_TRUE(!pool.giveBack(second) && second == &items[1]) << "a refused give-back leaves the pointer";
    for (Counted *p : {&items[4], &items[5], &items[0], static_cast<Counted *>(nullptr)})
        EXPECT_EQ(pool.pop(), p);
    queue.setCapacity(1); // the engine resizes only empty containers, between files
    EXPECT_TRUE(queue.push(&items[2]) && !queue.push(&items[3]));
    queue.pop();
}

// A consumer waiting for the lock while the queue is put on hold takes nothing.
TEST(Queues, HoldSetWhileAConsumerWaitsForTheLockStopsIt)
{
    Counted item, *p = &item, *taken = &item;
    ReadyQueue<Counted> queue;
    queue.setCapacity(1);
    queue.push(p);
    std::unique_lock<std::recursive_mutex> guard(queue.mutex());
    std::thread consumer([&] { taken = queue.take(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.setOnHold(true);
    guard.unlock();
    consumer.join();
    EXPECT_EQ(taken, nullptr);
    EXPECT_EQ(queue.pop(), &item);
}

// Between two threads none is lost and no container is found full; clearPool deletes them.
TEST(Queues, CirculationLosesNothingAndClearPoolDeletes)
{
    constexpr int kObjects = 16, kRounds = 20000;
    FreePool<Counted> pool;
    ReadyQueue<Counted> queue;
    stock(pool, kObjects, [] { return new Counted; });
    queue.setCapacity(kObjects);
    std::atomic<int> refused{0};
    const auto move = [&](auto take, auto put) {
        for (int moved = 0; moved + refused < kRounds;) {
            if (Counted *p = take())
                moved += 1, refused += !put(p);
            else
                std::this_thread::yield();
        }
    };
    std::thread consumer(move, [&] { return queue.take(); }, [&](Counted *p) { return pool.giveBack(p); });
    move([&] { return pool.pop(); }, [&](Counted *p) { return queue.push(p); });
    consumer.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(pool.size(), uint32_t(kObjects));
    Counted::deleted = 0;
    clearPool(pool);
    EXPECT_EQ(Counted::deleted, kObjects);
    EXPECT_TRUE(pool.isEmpty());
}

} // namespace
