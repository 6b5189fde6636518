// awaitInThread: the task runs on the target thread and its effects are
// visible on return, also for short tasks from two callers at once.
#include "audio/AwaitInThread.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(AwaitInThread, RunsOnTheTargetThreadAndReturnsAfterTheTask)
{
    QThread worker;
    worker.start();
    QThread *ranOn = nullptr; // plain: visibility is the await's job
    awaitInThread(&worker, [&] {
        QThread::msleep(50);
        ranOn = QThread::currentThread();
    });
    EXPECT_EQ(ranOn, &worker);

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
