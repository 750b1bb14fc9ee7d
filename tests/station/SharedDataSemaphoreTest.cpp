#include "station/SharedDataSemaphore.h"
#include "station/StationCore.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <vector>
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

TEST(SharedDataSemaphore, ManyThreadsShortAndLongHoldsOneHolderAtATime)
{
    SharedDataSemaphore sem;
    std::atomic<int> holders{0};
    std::atomic<int> worst{0};
    std::atomic<int> timedOut{0};
    std::atomic<bool> handOn{false}; // a hold that another thread ends
    long long counter = 0;           // guarded by the semaphore alone
    constexpr int kThreads = 16;
    constexpr int kRounds = 3000;
    const auto inside = [&] {
        const int now = holders.fetch_add(1) + 1;
        int seen = worst.load();
        while (now > seen && !worst.compare_exchange_weak(seen, now)) {
        }
        ++counter;
    };
    // Gives back the holds that worker 0 leaves taken.
    std::atomic<bool> workersDone{false};
    std::thread giver([&] {
        while (!workersDone.load()) {
            if (handOn.load()) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                holders.fetch_sub(1);
                handOn = false;
                EXPECT_TRUE(sem.release());
            }
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if (t % 4 == 3 && i % 50 == 0) {
                    if (!sem.tryAcquire(1)) {
                        ++timedOut;
                        continue;
                    }
                } else {
                    sem.acquire();
                }
                inside();
                if (i % 500 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                if (t == 0 && i % 100 == 0) {
                    handOn = true; // still held: the giver ends the hold
                    continue;
                }
                holders.fetch_sub(1);
                EXPECT_TRUE(sem.release());
            }
        });
    }
    for (std::thread &th : threads)
        th.join();
    workersDone = true;
    giver.join();
    EXPECT_EQ(worst.load(), 1);
    EXPECT_EQ(sem.available(), 1);
    EXPECT_FALSE(sem.release());
    EXPECT_GT(counter, 0);
    // A timed try that meets a holder for its whole time gives up.
    sem.acquire();
    QElapsedTimer t;
    t.start();
    std::thread([&] { EXPECT_FALSE(sem.tryAcquire(30)); }).join();
    EXPECT_GE(t.elapsed(), 25);
    // A sleeper is woken by a release from another thread.
    std::thread sleeper([&] {
        sem.acquire();
        EXPECT_TRUE(sem.release());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(sem.release());
    sleeper.join();
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
