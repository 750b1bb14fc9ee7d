#include "station/SharedDataSemaphore.h"
#include "station/StationCore.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <stdexcept>
#include <thread>

TEST(SharedDataSemaphore, CountOneMaximumOne)
{
    SharedDataSemaphore sem;
    EXPECT_EQ(sem.available(), 1);
    EXPECT_FALSE(sem.release()); // already at its maximum
    EXPECT_EQ(sem.available(), 1);
    sem.acquire();
    EXPECT_FALSE(sem.tryAcquire(0));
    // Any thread may release what another acquired.
    std::thread([&] { EXPECT_TRUE(sem.release()); }).join();
    EXPECT_EQ(sem.available(), 1);
}

TEST(SharedDataSemaphore, GuardReleasesOnEveryPath)
{
    SharedDataSemaphore sem;
    try {
        SharedDataLock lock(sem);
        EXPECT_EQ(sem.available(), 0);
        throw std::runtime_error("fail");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(sem.available(), 1);
    {
        SharedDataLock lock(sem);
        lock.unlock();
        EXPECT_EQ(sem.available(), 1);
        lock.relock();
        EXPECT_EQ(sem.available(), 0);
    }
    EXPECT_EQ(sem.available(), 1);
}

// A worker holds the semaphore and waits for a hand-over to the GUI thread
// while the GUI thread itself waits for the semaphore: both must finish.
TEST(GuiHandover, WorkerHoldingSemaphoreMeetsGuiWaitingForIt)
{
    RecordingView view;
    StationCore core(view);
    std::atomic<bool> holding{false};
    std::atomic<bool> workerDone{false};

    std::thread worker([&] {
        SharedDataLock lock(core.semaphore);
        holding = true;
        for (int i = 0; i < 50; ++i)
            core.appendStatusLine("Zeile " + QByteArray::number(i));
        workerDone = true;
    });
    while (!holding)
        std::this_thread::yield();

    // The GUI thread's own wait for the semaphore, as the configuration
    // dialog's field handlers do it; no event loop runs meanwhile.
    QElapsedTimer t;
    t.start();
    core.semaphore.acquire();
    EXPECT_TRUE(workerDone.load());
    core.semaphore.release();
    worker.join();
    EXPECT_LT(t.elapsed(), 10000);
    ASSERT_EQ(view.lines.size(), 50);
    EXPECT_EQ(view.lines.front(), "Zeile 0");
    EXPECT_EQ(view.lines.back(), "Zeile 49");
}
