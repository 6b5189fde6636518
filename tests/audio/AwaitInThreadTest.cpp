// awaitInThread: the task runs in the target thread's event loop, inline on the
// caller's own thread, and its effects are visible when the call returns.
#include "audio/AwaitInThread.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(AwaitInThreadTest, RunsInTheTargetsEventLoopAndReturnsAfterTheTask)
{
    QThread worker;
    worker.start();
    QThread *ranOn = nullptr;
    int loopLevel = 0;
    int value = 0; // plain int: visibility is the await's job
    awaitInThread(&worker, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ranOn = QThread::currentThread();
        loopLevel = ranOn->loopLevel();
        value = 42;
    });
    EXPECT_EQ(ranOn, &worker);
    EXPECT_GT(loopLevel, 0);
    EXPECT_EQ(value, 42);

    // Short tasks often finish before the caller starts waiting; none may leave
    // the caller blocked, and two callers must not disturb each other.
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

TEST(AwaitInThreadTest, CurrentThreadRunsInlineAndNullThreadOnThePool)
{
    QThread *ranOn = nullptr;
    int loopLevel = -1;
    awaitInThread(QThread::currentThread(), [&] {
        ranOn = QThread::currentThread();
        loopLevel = ranOn->loopLevel();
    });
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_EQ(loopLevel, 0) << "no event loop runs it";
    awaitInThread(QThread::currentThread(), std::function<void()>()); // empty: skipped

    std::thread::id poolThread;
    awaitInThread(nullptr, [&] { poolThread = std::this_thread::get_id(); });
    EXPECT_NE(poolThread, std::thread::id()) << "the task did not run";
    EXPECT_NE(poolThread, std::this_thread::get_id());
}

} // namespace
