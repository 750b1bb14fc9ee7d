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
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

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

// Many threads at once, with holds short and long (a long one makes the
// others sleep), with timed tries among them and releases of what another
// thread acquired: never two holders, never a sleeper left behind.
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

// Calls `onWake` on the GUI thread when a worker's hand-over has been queued
// and its wake-up is about to be delivered, before drain() takes it.
class WakeWatch : public QObject
{
public:
    WakeWatch(QObject &handover, std::function<void()> onWake)
        : m_onWake(std::move(onWake))
    {
        handover.installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall && m_onWake)
            std::exchange(m_onWake, nullptr)();
        return false;
    }

private:
    std::function<void()> m_onWake;
};

TEST(GuiHandover, OnGuiThreadRunsAtOnceAndClosedHandoverReleasesWaiters)
{
    GuiHandover handover;
    bool ran = false;
    EXPECT_TRUE(handover.runOnGui([&] { ran = true; }));
    EXPECT_TRUE(ran);

    // The worker's hand-over is queued and not started when the hand-over
    // is closed: it is dropped and the worker is told so.
    WakeWatch closeWhenQueued(handover, [&] { handover.close(); });
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> result{true};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = handover.runOnGui([&] { queuedRan = true; });
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_FALSE(result.load());
    EXPECT_FALSE(queuedRan.load());
    EXPECT_FALSE(handover.runOnGui([] {}));
}

// A hand-over that already runs when the hand-over is closed (a box whose
// event loop ends the program) finishes before its worker goes on: what it
// refers to on the worker's stack is still there when it writes.
TEST(GuiHandover, ClosedWhileATaskRunsTheWorkerWaitsForItsEnd)
{
    GuiHandover handover;
    std::atomic<bool> inside{false};
    std::atomic<bool> workerLeft{false};
    std::atomic<bool> taskEnded{false};
    bool returnedWhileInside = true;
    bool result = false;
    int answerSeen = 0;
    std::thread worker([&] {
        {
            int answer = 0; // the caller's local the task fills in
            result = handover.runOnGui([&] {
                inside = true;
                handover.close();
                // Stands for the rest of the box: with the fault the worker
                // is gone long before this bound.
                QElapsedTimer t;
                t.start();
                while (!workerLeft && t.elapsed() < 200)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                answer = 42;
                inside = false;
                taskEnded = true;
            });
            returnedWhileInside = inside.load();
            answerSeen = answer;
        }
        workerLeft = true;
        // Keeps the thread's stack until the task is over, so that a write
        // into the scope it left shows under AddressSanitizer.
        while (!taskEnded)
            std::this_thread::yield();
    });
    QElapsedTimer t;
    t.start();
    while (!taskEnded && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(taskEnded.load());
    worker.join();
    EXPECT_FALSE(returnedWhileInside);
    EXPECT_TRUE(result); // it ran
    EXPECT_EQ(answerSeen, 42);
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
