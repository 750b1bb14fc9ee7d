#pragma once

#include <QSemaphore>

class GuiHandover;

// The station's one lock: a counting semaphore with initial and maximum
// count 1. Any thread may release what another acquired.
//
// On the GUI thread acquire() does not block outright: it tries with a short
// time-out and runs the hand-overs queued for the GUI thread between tries,
// so a worker that holds the semaphore while it waits for a hand-over always
// finishes and releases it.
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
    int available() const { return m_sem.available(); }

private:
    QSemaphore m_sem{1};
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
