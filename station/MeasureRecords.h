#pragma once

#include "common/ValueFormat.h"
#include "station/StationTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

#include <deque>

class Clock;
class StationCore;

// Measurement record files: one file per weekday and hour in the working
// directory (station identifier, weekday digit, ".", hour character, "MS"),
// to which the measurement thread appends one line per channel.
namespace MeasureRecords {

// Record channels, in the order they are written.
constexpr int ChannelCount = 7;

// Units of the record lines: the OEM code page's degree sign and "C", the
// percent sign for humidity, one blank for the contact inputs.
inline const QByteArray UnitDegree = QByteArray("\xF8"
                                                "C");
inline const QByteArray UnitPercent = QByteArray("%");
inline const QByteArray UnitContact = QByteArray(" ");

// Bounds outside which channel 1 is written with state "p".
constexpr double PlausibleMax = 100.0;
constexpr double PlausibleMin = -25.0;

// The file name for the given local time. An identifier that is not 7
// characters long is cut or padded with "-" to 7, so that the weekday digit
// and the hour character always land in their places.
QByteArray fileName(const QByteArray &stationId, const QDateTime &local);

// Seconds since 1 January 1970 of the local date and time (whole days x 86400
// plus the time of day), as 8 upper-case hexadecimal digits.
QByteArray timestamp(const QDateTime &local);

// "g" for green, "r" for any other colour; channel 1 gives "p" when the value
// lies outside the plausibility bounds.
char recordState(int channel, double value, ColourState colour);

// One record line, ended by CR LF; the identifier in its plain form
// (StationFileNames::plainId), as the file names carry it.
QByteArray recordLine(const QByteArray &stationId, int channel, double value, const QByteArray &unit,
                      ColourState colour, const QDateTime &local);

// A value with two decimals as the station shows and records it: fixed point
// with six significant digits at most, padded to two decimals, with the given
// decimal separator (scientific form once the value has more than six digits
// before the point).
inline QByteArray formatFixed2(double value, char decimalSeparator)
{
    return ValueFormat::formatFixed2(value, decimalSeparator);
}

// The decimal separator of the station's locale as one code-page byte.
inline char localeDecimalSeparator()
{
    return ValueFormat::localeDecimalSeparator();
}

} // namespace MeasureRecords

// The record file name for the current local time of the station's clock.
QByteArray MeasureFileName(const QByteArray &stationId, const Clock &clock);

// Writes the measurement thread's record sets (the seven lines of one
// evaluation) to the record files, each set whole or not at all: it takes
// the place of one record write per channel. A set that cannot be written
// (the folder is read-only, the disk is full) leaves the file as it was and
// is held back; every later write first appends the held-back sets, oldest
// first, in the same single write. The first failure of a series posts the
// "SHIT HAPPENS!" box to the GUI thread without waiting for it (the caller
// holds SharedDataSemaphore) and is logged and said on standard error.
class MeasureRecordWriter
{
public:
    // Held back at most: one day of five-minute sets and 1 MiB. Beyond that
    // the oldest sets are dropped (the newest set is always kept), which the
    // log says once per series of failures and again with the count when
    // writing works again.
    static constexpr qsizetype MaxHeldSets = 288;
    static constexpr qsizetype MaxHeldBytes = 1 << 20;

    // Appends the held-back sets and `set` to the record file `fileName` (in
    // the working directory). True when all of them were written.
    bool write(StationCore &core, const QByteArray &fileName, const QByteArray &set);

    // The program ends: appends the held-back sets to `fileName`, unless
    // `transferRunning` (the reporting side still sends the record files).
    // Sets that are not written are lost; one log line (and standard error)
    // says how many, with those dropped before. No box is shown any more.
    // Nothing happens when no set is held back.
    void writeHeldAtEnd(StationCore &core, const QByteArray &fileName, bool transferRunning);

    qsizetype heldSets() const { return static_cast<qsizetype>(m_held.size()); }

private:
    // Appends the held-back sets and `set` in one write; 0 or the errno.
    int appendHeld(const QByteArray &fileName, const QByteArray &set) const;
    // The held-back sets are written: the log says so when there were any.
    void heldWritten(StationCore &core);
    void clearHeld();
    void hold(StationCore &core, const QByteArray &set);

    std::deque<QByteArray> m_held; // oldest first
    qsizetype m_heldBytes = 0;
    qint64 m_dropped = 0; // sets dropped in the current series of failures
    bool m_failing = false;
};

// The five-minute record period on the station's clock. It is polled by the
// measurement thread before the records step instead of firing on its own;
// a period that ended between two polls fires at the next poll, which is the
// first moment its effect (records due) can matter. The tick difference is
// taken modulo 2^32, so the counter's wrap does not disturb it.
class RecordTimer
{
public:
    static constexpr qint32 DefaultIntervalMs = 300000;

    explicit RecordTimer(const Clock &clock)
        : m_clock(clock)
    {}

    void setInterval(qint32 ms) { m_intervalMs = ms; }
    qint32 interval() const { return m_intervalMs; }

    // Enabling starts a new period now; disabling stops the timer.
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }

    // Milliseconds of the current period that have passed.
    quint32 elapsed() const;

    // True (once per period) when the timer is enabled and its period is over;
    // the next period then starts at the moment this one ended.
    bool poll();

private:
    const Clock &m_clock;
    qint32 m_intervalMs = DefaultIntervalMs;
    bool m_enabled = false;
    quint32 m_startTick = 0;
};
