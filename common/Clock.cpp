#include "common/Clock.h"

#include <ctime>
#include <QThread>

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
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
