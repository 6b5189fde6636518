// awaitInThread: the task runs on the target thread and its effects are
// visible when the call returns.
#include "audio/AwaitInThread.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class WorkerThread : public ::testing::Test {
protected:
    void SetUp() override { worker.start(); }
    void TearDown() override
    {
        worker.quit();
        worker.wait();
    }
    QThread worker;
};

TEST_F(WorkerThread, RunsTheTaskOnTheTargetThreadAndReturnsAfterIt)
{
    QThread *ranOn = nullptr;
    int value = 0; // plain int: visibility is the await's job
    awaitInThread(&worker, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ranOn = QThread::currentThread();
        value = 42;
    });
    EXPECT_EQ(ranOn, &worker);
    EXPECT_EQ(value, 42);
}

// Short tasks often finish before the caller starts waiting; none may leave
// the caller blocked, and two callers must not disturb each other.
TEST_F(WorkerThread, ManyQuickTasksFromTwoCallers)
{
    std::atomic<int> count{0};
    auto caller = [&] {
        for (int i = 0; i < 300; ++i)
            awaitInThread(&worker, [&] { count.fetch_add(1); });
    };
    std::thread other(caller);
    caller();
    other.join();
    EXPECT_EQ(count.load(), 600);
}

TEST(AwaitInThreadTest, CurrentThreadRunsInlineWithoutAnEventLoop)
{
    QThread *ranOn = nullptr;
    int loopLevel = -1;
    awaitInThread(QThread::currentThread(), [&] {
        ranOn = QThread::currentThread();
        loopLevel = QThread::currentThread()->loopLevel();
    });
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_EQ(loopLevel, 0);
    awaitInThread(QThread::currentThread(), std::function<void()>()); // empty: skipped
}

TEST(AwaitInThreadTest, NullThreadRunsOnThePool)
{
    std::thread::id ranOn;
    int value = 0;
    awaitInThread(nullptr, [&] {
        ranOn = std::this_thread::get_id();
        value = 7;
    });
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_EQ(value, 7);
}

TEST(AwaitInThreadTest, HelperMetaObject)
{
    int runs = 0;
    auto *helper = new __OVO_Private::VoidAwaitHelper(QThread::currentThread(), [&] { ++runs; });
    const QMetaObject *meta = helper->metaObject();
    EXPECT_STREQ(meta->className(), "__OVO_Private::BaseAwaitHelper");
    EXPECT_EQ(helper->qt_metacast("QRunnable"), static_cast<void *>(static_cast<QRunnable *>(helper)));

    const int offset = meta->methodOffset();
    ASSERT_EQ(meta->methodCount() - offset, 3);
    EXPECT_EQ(meta->method(offset).methodSignature(), "finished()");
    EXPECT_EQ(meta->method(offset).methodType(), QMetaMethod::Signal);
    EXPECT_EQ(meta->method(offset + 1).methodSignature(), "startRequested()");
    EXPECT_EQ(meta->method(offset + 1).methodType(), QMetaMethod::Signal);
    EXPECT_EQ(meta->method(offset + 2).methodSignature(), "run()");
    EXPECT_EQ(meta->method(offset + 2).methodType(), QMetaMethod::Slot);

    // The slot runs the task and reports "finished".
    int finished = 0;
    QObject::connect(helper, &__OVO_Private::BaseAwaitHelper::finished, [&] { ++finished; });
    ASSERT_TRUE(meta->method(offset + 2).invoke(helper, Qt::DirectConnection));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(finished, 1);
    helper->waitUntilDone(); // completion was recorded: returns at once
    delete helper;
}

} // namespace
