#pragma once

#include <QDateTime>
#include <QtGlobal>

// Seconds of the 32-bit millisecond tick counter in extended precision; the
// time base of alarm and report times. 0 means "no alarm".
using TickSeconds = long double;

// Time source of the programs: the wrapping millisecond tick, local date and
// time, and sleeping. Production uses SystemClock; tests hand a manual clock
// to the code under test (the station takes it from its platform context) so
// that timers, waits and the 49.7-day wrap take no real time.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual quint32 tickCount() const = 0;
    virtual QDateTime localDateTime() const = 0;
    virtual void sleep(int ms) = 0;

    TickSeconds tickSeconds() const { return static_cast<TickSeconds>(tickCount()) / 1000.0L; }

    // This machine's clock (a SystemClock).
    static Clock &system();
};

class SystemClock : public Clock
{
public:
    quint32 tickCount() const override;
    QDateTime localDateTime() const override;
    void sleep(int ms) override;
};
