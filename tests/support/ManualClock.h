#pragma once

#include "common/Clock.h"

#include <atomic>
#include <functional>
#include <mutex>

// A clock that moves only when told to. sleep() advances it by the requested
// time and returns at once; an optional hook runs on every sleep (tests use it
// to change the world while the code under test "waits").
class ManualClock : public Clock
{
public:
    explicit ManualClock(quint32 startTick = 1000,
                         QDateTime startLocal = QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0)))
        : m_tick(startTick)
        , m_local(std::move(startLocal))
    {}

    quint32 tickCount() const override
    {
        std::lock_guard lock(m_mutex);
        return m_tick;
    }
    QDateTime localDateTime() const override
    {
        std::lock_guard lock(m_mutex);
        return m_local;
    }
    void sleep(int ms) override
    {
        std::function<void(int)> hook;
        {
            std::lock_guard lock(m_mutex);
            hook = m_hook;
        }
        advance(ms);
        m_totalSlept += ms;
        if (hook)
            hook(ms);
    }

    void advance(qint64 ms)
    {
        std::lock_guard lock(m_mutex);
        m_tick = static_cast<quint32>(m_tick + static_cast<quint64>(ms));
        m_local = m_local.addMSecs(ms);
    }
    void setTick(quint32 tick)
    {
        std::lock_guard lock(m_mutex);
        m_tick = tick;
    }
    void setLocalDateTime(const QDateTime &local)
    {
        std::lock_guard lock(m_mutex);
        m_local = local;
    }
    void setSleepHook(std::function<void(int ms)> hook)
    {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }
    qint64 totalSlept() const { return m_totalSlept.load(); }

private:
    mutable std::mutex m_mutex;
    quint32 m_tick;
    QDateTime m_local;
    std::function<void(int)> m_hook;
    std::atomic<qint64> m_totalSlept{0};
};
