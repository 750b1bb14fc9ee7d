#pragma once

#include "station/StationCore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <thread>

// Plays a viewer connection thread that applies a remote configuration: on
// a thread of its own it takes SharedDataSemaphore, runs `body` (which hands
// work to the GUI thread through core.handover and waits for it) and
// releases the semaphore. The GUI thread serves the hand-overs meanwhile.
// Should the GUI thread never serve them (a deadlock), the hand-over is
// closed after `limitMs` (real time, spent only when the test fails) so that
// the test ends and reports it.
class ViewerConnectionStandIn
{
public:
    explicit ViewerConnectionStandIn(StationCore &core)
        : m_core(core)
    {}
    ~ViewerConnectionStandIn() { join(); }

    // Starts the thread; returns once it holds the semaphore.
    void start(std::function<void()> body, int limitMs = 10000)
    {
        m_watchdog = std::thread([this, limitMs] {
            QElapsedTimer t;
            t.start();
            while (!m_done && t.elapsed() < limitMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (!m_done) {
                m_cutOff = true;
                m_core.handover.close();
            }
        });
        m_thread = std::thread([this, body = std::move(body)] {
            m_core.semaphore.acquire();
            m_holding = true;
            body();
            m_core.semaphore.release();
            m_done = true;
        });
        while (!m_holding)
            std::this_thread::yield();
    }

    // GUI thread: serves events and hand-overs until the thread is done.
    // False when it had to be cut off.
    bool finish()
    {
        while (!m_done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            m_core.handover.drain();
        }
        join();
        return !m_cutOff;
    }

    bool done() const { return m_done; }

private:
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_watchdog.joinable())
            m_watchdog.join();
    }

    StationCore &m_core;
    std::thread m_thread;
    std::thread m_watchdog;
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_cutOff{false};
};
