// awaitInThread: the task runs in the target thread's event loop and its
// effects are visible when the call returns, also for many short tasks from
// two callers at once (some finished before their caller starts waiting).
#include "audio/AwaitInThread.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(AwaitInThread, RunsInTheTargetsEventLoopAndReturnsAfterTheTask)
{
    QThread worker;
    worker.start();
    QThread *ranOn = nullptr;
    int loopLevel = 0, value = 0; // plain ints: visibility is the await's job
    awaitInThread(&worker, [&] {
        QThread::msleep(50);
        ranOn = QThread::currentThread();
        loopLevel = ranOn->loopLevel();
        value = 42;
    });
    EXPECT_EQ(ranOn, &worker);
    EXPECT_GT(loopLevel, 0);
    EXPECT_EQ(value, 42);

    std::atomic<int> count{0};
    auto caller = [&] {
        for (int i = 0; i < 300; ++i)
            awaitInThread(&worker, [&] { ++count; });
    };
    std::thread other(caller);
    caller();
    other.join();
    EXPECT_EQ(count.load(), 600);
    worker.quit();
    worker.wait();
}
