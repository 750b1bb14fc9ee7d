#include "station/GuiHandover.h"
#include "station/SharedDataSemaphore.h"
#include "station/StationCore.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

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

TEST(GuiHandover, EventLoopRunsHandoversInOrder)
{
    GuiHandover handover;
    QList<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            EXPECT_TRUE(handover.runOnGui([&order, i] { order.append(i); }));
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    QList<int> expected;
    for (int i = 0; i < 20; ++i)
        expected.append(i);
    EXPECT_EQ(order, expected);
}

TEST(GuiHandover, OnGuiThreadRunsAtOnceAndClosedHandoverReleasesWaiters)
{
    GuiHandover handover;
    bool ran = false;
    EXPECT_TRUE(handover.runOnGui([&] { ran = true; }));
    EXPECT_TRUE(ran);

    std::atomic<bool> started{false};
    std::atomic<bool> result{true};
    std::thread worker([&] {
        started = true;
        result = handover.runOnGui([] {});
    });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    handover.close();
    worker.join();
    EXPECT_FALSE(result.load());
    EXPECT_FALSE(handover.runOnGui([] {}));
}

// A hand-over that opens a modal loop (a message box) must not hold up the
// hand-overs queued after it: the box's own event loop serves them.
TEST(GuiHandover, HandoversRunWhileAnEarlierOneShowsABox)
{
    GuiHandover handover;
    std::atomic<bool> boxOpen{false};
    std::atomic<bool> secondDone{false};
    bool servedWhileOpen = false;
    std::atomic<bool> boxClosed{false};
    std::thread worker([&] {
        handover.postToGui([&] {
            // Stands for a modal box: runs until the second hand-over is done.
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
                if (secondDone) {
                    servedWhileOpen = true;
                    loop.quit();
                }
            });
            poll.start(1);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit); // safety stop
            boxOpen = true;
            loop.exec();
            boxClosed = true;
        });
        while (!boxOpen)
            std::this_thread::yield();
        handover.runOnGui([] {});
        secondDone = true;
    });
    QElapsedTimer t;
    t.start();
    while (!boxClosed && t.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_TRUE(servedWhileOpen);
    EXPECT_LT(t.elapsed(), 10000);
}
