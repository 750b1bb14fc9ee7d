#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <mutex>

// Seconds of the 32-bit millisecond tick counter in extended precision; the
// time base of alarm and report times. 0 means "no alarm".
using TickSeconds = long double;

// Time source of the programs: the wrapping millisecond tick, local date and
// time, and sleeping. Production uses SystemClock; tests install a ManualClock
// so that timers, waits and the 49.7-day wrap take no real time.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual quint32 tickCount() const = 0;
    virtual QDateTime localDateTime() const = 0;
    virtual void sleep(int ms) = 0;

    TickSeconds tickSeconds() const { return static_cast<TickSeconds>(tickCount()) / 1000.0L; }

    // The process-wide clock. setInstance(nullptr) restores the system clock.
    static Clock &instance();
    static void setInstance(Clock *clock);
};

class SystemClock : public Clock
{
public:
    quint32 tickCount() const override;
    QDateTime localDateTime() const override;
    void sleep(int ms) override;
};

// A clock that moves only when told to. sleep() advances it by the requested
// time and returns at once; an optional hook runs on every sleep (tests use it
// to change the world while the code under test "waits").
class ManualClock : public Clock
{
public:
    explicit ManualClock(quint32 startTick = 1000,
                         QDateTime startLocal = QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0)));

    quint32 tickCount() const override;
    QDateTime localDateTime() const override;
    void sleep(int ms) override;

    void advance(qint64 ms);
    void setTick(quint32 tick);
    void setLocalDateTime(const QDateTime &local);
    void setSleepHook(std::function<void(int ms)> hook);
    qint64 totalSlept() const { return m_totalSlept.load(); }

private:
    mutable std::mutex m_mutex;
    quint32 m_tick;
    QDateTime m_local;
    std::function<void(int)> m_hook;
    std::atomic<qint64> m_totalSlept{0};
};

// Installs a clock for the lifetime of the guard (tests).
class ScopedClock
{
public:
    explicit ScopedClock(Clock &clock) { Clock::setInstance(&clock); }
    ~ScopedClock() { Clock::setInstance(nullptr); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};
