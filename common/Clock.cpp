#include "common/Clock.h"

#include <ctime>
#include <QThread>

namespace {

SystemClock &systemClock()
{
    static SystemClock clock;
    return clock;
}

std::atomic<Clock *> g_clock{nullptr};

} // namespace

Clock &Clock::instance()
{
    Clock *c = g_clock.load(std::memory_order_acquire);
    return c ? *c : systemClock();
}

void Clock::setInstance(Clock *clock)
{
    g_clock.store(clock, std::memory_order_release);
}

quint32 SystemClock::tickCount() const
{
    // Like the system tick: milliseconds since boot, wrapping at 2^32.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const quint64 ms = static_cast<quint64>(ts.tv_sec) * 1000u + static_cast<quint64>(ts.tv_nsec) / 1000000u;
    return static_cast<quint32>(ms);
}

QDateTime SystemClock::localDateTime() const
{
    return QDateTime::currentDateTime();
}

void SystemClock::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

ManualClock::ManualClock(quint32 startTick, QDateTime startLocal)
    : m_tick(startTick), m_local(std::move(startLocal))
{
}

quint32 ManualClock::tickCount() const
{
    std::lock_guard lock(m_mutex);
    return m_tick;
}

QDateTime ManualClock::localDateTime() const
{
    std::lock_guard lock(m_mutex);
    return m_local;
}

void ManualClock::sleep(int ms)
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

void ManualClock::advance(qint64 ms)
{
    std::lock_guard lock(m_mutex);
    m_tick = static_cast<quint32>(m_tick + static_cast<quint64>(ms));
    m_local = m_local.addMSecs(ms);
}

void ManualClock::setTick(quint32 tick)
{
    std::lock_guard lock(m_mutex);
    m_tick = tick;
}

void ManualClock::setLocalDateTime(const QDateTime &local)
{
    std::lock_guard lock(m_mutex);
    m_local = local;
}

void ManualClock::setSleepHook(std::function<void(int)> hook)
{
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}
