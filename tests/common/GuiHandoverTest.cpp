#include "common/GuiHandover.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

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

// After close (the viewer's window going away) a worker's call is refused at
// once, without a GUI thread to serve it, and its task never runs.
TEST(GuiHandover, AfterCloseAWorkersCallIsRefusedWithoutRunning)
{
    GuiHandover handover;
    handover.close();
    bool result = true;
    bool ran = false;
    std::thread worker([&] { result = handover.runOnGui([&] { ran = true; }); });
    worker.join(); // no event loop runs: a waiting worker would hang here
    EXPECT_FALSE(result);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

// Many workers wait at once, each woken for its own hand-over only: every one
// returns, true exactly when its work ran, whether it ran before the close,
// was dropped by it, or came after it.
TEST(GuiHandover, ManyWaitingWorkersEachLearnWhetherTheirOwnWorkRan)
{
    GuiHandover handover;
    constexpr int kWorkers = 32;
    constexpr int kEach = 20;
    std::vector<std::atomic<int>> ran(kWorkers);
    std::vector<std::atomic<int>> told(kWorkers);
    std::atomic<int> finished{0};
    int total = 0; // GUI thread only
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kEach; ++i)
                if (handover.runOnGui([&, w] {
                        ++ran[w];
                        // Closed from inside a running hand-over: its own
                        // worker is still told that it ran.
                        if (++total == kWorkers * kEach / 2)
                            handover.close();
                    }))
                    ++told[w];
            ++finished;
        });
    }
    while (finished.load() < kWorkers)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    for (std::thread &t : workers)
        t.join();
    int sum = 0;
    for (int w = 0; w < kWorkers; ++w) {
        EXPECT_EQ(told[w].load(), ran[w].load()) << "worker " << w;
        sum += ran[w].load();
    }
    EXPECT_EQ(sum, kWorkers * kEach / 2);
    EXPECT_EQ(total, kWorkers * kEach / 2);
}
