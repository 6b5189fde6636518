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
    explicit Counted(int id = 0) : id(id) {}
    ~Counted() { ++deleted; }
    int id;
};

std::vector<int> drain(BoundedRing<Counted> &ring)
{
    std::vector<int> ids;
    while (Counted *p = ring.pop())
        ids.push_back(p->id);
    return ids;
}

class QueuesTest : public ::testing::Test {
protected:
    QueuesTest()
    {
        for (int i = 0; i < 8; ++i)
            items.emplace_back(i);
    }
    Counted *item(int i) { return &items[size_t(i)]; }
    // Pools and queues delete what they still hold when they die; the items
    // here live in the fixture, so take them out first.
    template <typename Container>
    static void release(Container &container)
    {
        while (container.pop()) {
        }
    }
    std::vector<Counted> items;
};

TEST_F(QueuesTest, RingRefusesBeyondCapacityAndKeepsOrderAcrossTheWrap)
{
    BoundedRing<Counted> ring;
    EXPECT_FALSE(ring.push(item(0))) << "a ring without capacity holds nothing";
    EXPECT_EQ(ring.pop(), nullptr);

    ring.setCapacity(4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(ring.push(item(i)));
    EXPECT_TRUE(ring.isFull());
    EXPECT_FALSE(ring.push(item(4)));
    EXPECT_EQ(ring.size(), 4u);

    // Head moves to 3, the next pushes wrap to the start of the storage.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ring.pop(), item(i));
    EXPECT_TRUE(ring.push(item(4)));
    EXPECT_TRUE(ring.push(item(5)));
    EXPECT_TRUE(ring.push(item(6)));
    EXPECT_FALSE(ring.push(item(7)));
    EXPECT_EQ(ring.front(), item(3));
    EXPECT_EQ(drain(ring), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_TRUE(ring.isEmpty());
    EXPECT_EQ(ring.front(), nullptr);
}

TEST_F(QueuesTest, SetCapacityKeepsTheOldestEntriesInOrder)
{
    BoundedRing<Counted> ring;
    ring.setCapacity(4);
    for (int i = 0; i < 4; ++i)
        ring.push(item(i));
    ring.pop();
    ring.pop();
    ring.push(item(4)); // wrapped: storage holds 4,_,2,3 with head at 2

    ring.setCapacity(6);
    EXPECT_EQ(ring.getCapacity(), 6u);
    EXPECT_EQ(ring.size(), 3u);
    for (int i = 5; i < 8; ++i)
        EXPECT_TRUE(ring.push(item(i)));
    EXPECT_FALSE(ring.push(item(0)));
    EXPECT_EQ(drain(ring), (std::vector<int>{2, 3, 4, 5, 6, 7}));

    // Shrinking keeps the oldest; the rest is dropped, not deleted.
    for (int i = 0; i < 5; ++i)
        ring.push(item(i));
    Counted::deleted = 0;
    ring.setCapacity(2);
    EXPECT_EQ(Counted::deleted, 0);
    EXPECT_TRUE(ring.isFull());
    EXPECT_EQ(drain(ring), (std::vector<int>{0, 1}));

    ring.setCapacity(2); // same capacity: nothing happens
    ring.push(item(6));
    ring.setCapacity(2);
    EXPECT_EQ(ring.front(), item(6));
}

TEST_F(QueuesTest, FullPoolLeavesTheCallersPointerSet)
{
    FreePool<Counted> pool;
    pool.setCapacity(1);
    Counted *first = item(0);
    EXPECT_TRUE(pool.giveBack(first));
    EXPECT_EQ(first, nullptr);

    Counted *second = item(1);
    EXPECT_FALSE(pool.giveBack(second));
    EXPECT_EQ(second, item(1));
    EXPECT_TRUE(pool.isFull());
    EXPECT_EQ(pool.pop(), item(0));
    EXPECT_TRUE(pool.isEmpty());
    release(pool);
}

TEST_F(QueuesTest, ReadyQueueHoldStopsConsumersButNotTheEngine)
{
    ReadyQueue<Counted> queue;
    queue.setCapacity(4);
    queue.push(item(0));
    queue.push(item(1));
    queue.setOnHold(true);
    EXPECT_EQ(queue.take(), nullptr);
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.pop(), item(0)) << "the engine's own pops ignore the hold";
    queue.setOnHold(false);
    EXPECT_EQ(queue.take(), item(1));
    EXPECT_EQ(queue.take(), nullptr);
    release(queue);
}

TEST_F(QueuesTest, FlushReadyMovesEveryEntryToThePoolInOrder)
{
    ReadyQueue<Counted> queue;
    FreePool<Counted> pool;
    queue.setCapacity(4);
    pool.setCapacity(4);
    Counted *idle = item(0);
    pool.giveBack(idle);
    queue.push(item(1));
    queue.push(item(2));
    queue.setOnHold(true);

    flushReady(queue, pool);
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_EQ(pool.size(), 3u);
    EXPECT_EQ(pool.pop(), item(0));
    EXPECT_EQ(pool.pop(), item(1));
    EXPECT_EQ(pool.pop(), item(2));
    release(pool);
    release(queue);
}

TEST(QueuesOwnershipTest, ClearPoolDeletesEveryIdleObject)
{
    FreePool<Counted> pool;
    pool.setCapacity(5);
    for (int i = 0; i < 3; ++i) {
        Counted *p = new Counted(i);
        pool.giveBack(p);
    }
    Counted::deleted = 0;
    clearPool(pool);
    EXPECT_EQ(Counted::deleted, 3);
    EXPECT_TRUE(pool.isEmpty());
    Counted *again = new Counted(9);
    EXPECT_TRUE(pool.giveBack(again)) << "the pool stays usable";
}

// A producer fills objects from the pool into the queue while a consumer takes
// them and gives them back, as the decoder and the audio device do.
TEST(QueuesConcurrencyTest, ObjectsCirculateWithoutLossBetweenTwoThreads)
{
    constexpr int kObjects = 16;
    constexpr int kRounds = 20000;
    FreePool<Counted> pool;
    ReadyQueue<Counted> queue;
    pool.setCapacity(kObjects);
    queue.setCapacity(kObjects);
    for (int i = 0; i < kObjects; ++i) {
        Counted *p = new Counted(i);
        pool.giveBack(p);
    }

    std::atomic<int> consumed{0};
    std::atomic<int> refused{0};
    std::thread consumer([&] {
        while (consumed.load() + refused.load() < kRounds) {
            Counted *p = queue.take();
            if (!p) {
                std::this_thread::yield();
                continue;
            }
            consumed.fetch_add(1);
            if (!pool.giveBack(p)) {
                refused.fetch_add(1);
                delete p;
            }
        }
    });
    int produced = 0;
    while (produced < kRounds) {
        Counted *p = pool.pop();
        if (!p) {
            std::this_thread::yield();
            continue;
        }
        if (!queue.push(p)) {
            refused.fetch_add(1);
            pool.giveBack(p);
        }
        ++produced;
    }
    consumer.join();
    flushReady(queue, pool);
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(pool.size(), uint32_t(kObjects));
}

} // namespace
