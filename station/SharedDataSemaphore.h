#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

class GuiHandover;

// The station's one lock: a counting semaphore with initial and maximum
// count 1. Any thread may release what another acquired.
//
// On the GUI thread acquire() does not block outright: it tries with a short
// time-out and runs the hand-overs queued for the GUI thread between tries,
// so a worker that holds the semaphore while it waits for a hand-over always
// finishes and releases it.
//
// Most holds are short (a text built from shared values), and many viewer
// connections take the semaphore at the same moments: a thread that finds it
// taken first retries for a few microseconds before it sleeps, so that a
// short hold costs no sleep and wake-up on either side.
class SharedDataSemaphore
{
public:
    explicit SharedDataSemaphore(GuiHandover *handover = nullptr) : m_handover(handover) {}

    void setHandover(GuiHandover *handover) { m_handover = handover; }

    void acquire();
    bool tryAcquire(int timeoutMs);
    // Adds 1 to the count; refused (false) when the count is already at its
    // maximum of 1.
    bool release();
    int available() const { return m_count.load(); }

private:
    bool take();
    bool spinTake();
    // Sleeps until the count can be taken; a negative bound waits without one.
    bool wait(int timeoutMs);

    std::atomic<int> m_count{1};
    std::atomic<int> m_sleepers{0};
    std::mutex m_sleepMutex;
    std::condition_variable m_wakeUp;
    GuiHandover *m_handover = nullptr;
};

// Holds SharedDataSemaphore for its scope; every path out releases it.
class SharedDataLock
{
public:
    explicit SharedDataLock(SharedDataSemaphore &sem) : m_sem(sem) { m_sem.acquire(); }
    ~SharedDataLock() { unlock(); }
    void unlock()
    {
        if (m_held) {
            m_held = false;
            m_sem.release();
        }
    }
    void relock()
    {
        if (!m_held) {
            m_sem.acquire();
            m_held = true;
        }
    }
    bool held() const { return m_held; }
    SharedDataLock(const SharedDataLock &) = delete;
    SharedDataLock &operator=(const SharedDataLock &) = delete;

private:
    SharedDataSemaphore &m_sem;
    bool m_held = true;
};
