// The rings, pools and ready queues through which frames and audio buffers
// circulate.
#include "player/BoundedRing.h"
#include "player/FreePool.h"
#include "player/ReadyQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Counted {
    static inline int deleted = 0;
    ~Counted() { ++deleted; }
};
using Ids = std::vector<int>;

// Items are known by their index in the fixture. Pools and queues delete what
// they still hold when they die, so each test drains them.
class QueuesTest : public ::testing::Test {
protected:
    // Pushes the items, expecting each to be taken (or each refused).
    template <typename Container> void push(Container &c, Ids ids, bool taken = true)
    {
        for (int i : ids)
            EXPECT_EQ(c.push(&items[i]), taken) << "item " << i;
    }
    template <typename Container> Ids drain(Container &c)
    {
        Ids ids;
        while (Counted *p = c.pop())
            ids.push_back(int(p - items));
        return ids;
    }
    Counted items[8];
};

TEST_F(QueuesTest, RingRefusesBeyondCapacityAndKeepsOrderAcrossTheWrap)
{
    BoundedRing<Counted> ring;
    push(ring, {0}, false); // no capacity, holds nothing
    ring.setCapacity(4);
    push(ring, {0, 1, 2, 3});
    EXPECT_TRUE(ring.isFull());
    push(ring, {4}, false);
    EXPECT_EQ(drain(ring), (Ids{0, 1, 2, 3}));
    push(ring, {0, 1, 2});
    ring.pop();
    ring.pop();
    push(ring, {3, 4, 5}); // wraps to the start of the storage
    push(ring, {6}, false);
    EXPECT_EQ(ring.front(), &items[2]);
    EXPECT_EQ(drain(ring), (Ids{2, 3, 4, 5}));
    EXPECT_EQ(ring.front(), nullptr);
    ring.setCapacity(2); // the engine resizes only empty containers, between files
    push(ring, {0, 1});
    push(ring, {2}, false);
    EXPECT_EQ(drain(ring), (Ids{0, 1}));
}

TEST_F(QueuesTest, FullPoolLeavesTheCallersPointerSet)
{
    FreePool<Counted> pool;
    pool.setCapacity(1);
    Counted *first = &items[0], *second = &items[1];
    EXPECT_TRUE(pool.giveBack(first));
    EXPECT_EQ(first, nullptr);
    EXPECT_FALSE(pool.giveBack(second));
    EXPECT_EQ(second, &items[1]);
    EXPECT_EQ(drain(pool), Ids{0});
}

TEST_F(QueuesTest, HoldStopsTakeButNotPopAndFlushReadyEmptiesTheQueue)
{
    ReadyQueue<Counted> queue;
    FreePool<Counted> pool;
    queue.setCapacity(4);
    pool.setCapacity(4);
    Counted *idle = &items[0];
    pool.giveBack(idle);
    push(queue, {1, 2, 3});
    queue.setOnHold(true);
    EXPECT_EQ(queue.take(), nullptr);
    EXPECT_EQ(queue.pop(), &items[1]) << "the engine's own pops ignore the hold";
    queue.setOnHold(false);
    EXPECT_EQ(queue.take(), &items[2]);
    push(queue, {4});
    queue.setOnHold(true);
    flushReady(queue, pool); // whatever the hold
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(drain(pool), (Ids{0, 3, 4}));
}

// A pool of owned objects: clearPool deletes them; circulating them between a
// producer and a consumer thread, as the decoder and the audio device do,
// loses none and never finds a container full.
TEST(QueuesOwnershipTest, ClearPoolDeletesAndCirculationLosesNothing)
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
