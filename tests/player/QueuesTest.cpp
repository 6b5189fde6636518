// The rings, pools and ready queues through which frames and audio buffers
// circulate between the demux thread and the consumers.
#include "player/BoundedRing.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Counted {
    static inline int deleted = 0;
    ~Counted() { ++deleted; }
};

TEST(Queues, RingRefusesWhenFullAndKeepsOrderAcrossTheWrap)
{
    Counted items[6];
    BoundedRing<Counted> ring;
    EXPECT_FALSE(ring.push(&items[0])) << "no capacity, holds nothing";
    ring.setCapacity(4);
    for (int i : {0, 1, 2})
        ASSERT_TRUE(ring.push(&items[i]));
    ring.pop();
    ring.pop();
    for (int i : {3, 4, 5}) // wraps to the start of the storage
        ASSERT_TRUE(ring.push(&items[i]));
    EXPECT_FALSE(ring.push(&items[0]));
    for (int i : {2, 3, 4, 5})
        EXPECT_EQ(ring.pop(), &items[i]);
    EXPECT_EQ(ring.front(), nullptr);
    ring.setCapacity(1); // the engine resizes only empty containers, between files
    EXPECT_TRUE(ring.push(&items[0]) && !ring.push(&items[1]));
    ring.pop();
}

TEST(Queues, HoldStopsTakeButNotPopFlushGivesBackAndAFullPoolRefuses)
{
    Counted items[5];
    ReadyQueue<Counted> queue;
    FreePool<Counted> pool;
    queue.setCapacity(4);
    pool.setCapacity(3);
    for (int i : {1, 2, 3})
        queue.push(&items[i]);
    queue.setOnHold(true);
    EXPECT_EQ(queue.take(), nullptr);
    EXPECT_EQ(queue.pop(), &items[1]) << "the engine's own pops ignore the hold";
    queue.setOnHold(false);
    EXPECT_EQ(queue.take(), &items[2]);
    queue.push(&items[4]);
    queue.setOnHold(true);
    flushReady(queue, pool); // whatever the hold
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(pool.size(), 2u);
    // A refused give-back leaves the caller's pointer, so the caller can delete it.
    Counted *first = &items[0], *second = &items[1];
    EXPECT_TRUE(pool.giveBack(first));
    EXPECT_EQ(first, nullptr);
    EXPECT_FALSE(pool.giveBack(second));
    EXPECT_EQ(second, &items[1]);
    for (int i : {3, 4, 0})
        EXPECT_EQ(pool.pop(), &items[i]);
}

// Owned objects: clearPool deletes them; circulating them between a producer
// and a consumer thread, as the decoder and the audio device do, loses none
// and never finds a container full.
TEST(Queues, ClearPoolDeletesAndCirculationLosesNothing)
{
    constexpr int kObjects = 16, kRounds = 20000;
    FreePool<Counted> pool;
    ReadyQueue<Counted> queue;
    pool.setCapacity(kObjects);
    queue.setCapacity(kObjects);
    auto fill = [&] {
        for (int i = 0; i < kObjects; ++i) {
            Counted *p = new Counted;
            ASSERT_TRUE(pool.giveBack(p));
        }
    };
    fill();
    Counted::deleted = 0;
    clearPool(pool);
    EXPECT_EQ(Counted::deleted, kObjects);
    EXPECT_TRUE(pool.isEmpty());

    fill();
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
}

} // namespace
