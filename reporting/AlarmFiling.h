#pragma once

#include "common/Clock.h"
#include "reporting/ReportThreadState.h"

#include <QByteArray>

class StationCore;

// The reporting thread's alarm filing: alarms expire once the report interval
// has passed, each new alarm group and each failure streak of the report
// becomes an error file waiting to be sent.
class AlarmFiling
{
public:
    AlarmFiling(StationCore &core, ReportThreadState &state);

    // Alarms older than the report interval go (not while reports fail).
    void expireAlarms();
    // Error files for new alarms; false when one could not be written (the
    // failure has been shown and the pause waited).
    bool fileNewAlarms();
    // Whether the next pass would write an error file for an alarm raised
    // now: the report must not hold it back (see TCPUtils::AlarmGraceMs).
    // Not while the working folder has no room for the file.
    bool alarmWaiting() const;
    // The LAN error file of a failure streak; false as above.
    bool writeLanErrorFile();

    // The name for the next error file; advances the counter. A name still
    // taken by a file waiting to be sent is skipped.
    QByteArray MakeErrorFileName();
    // One error record line without its line end; kind 1 ignores value text
    // and unit.
    QByteArray MakeErrorRecord(int kind, const QByteArray &parameter, const QByteArray &text,
                               const QByteArray &valueText, const QByteArray &unit,
                               const QByteArray &flag) const;
    // Whether a limit or CPU group may get a new error file.
    bool AlarmRepeatDue(qint32 intervalSeconds, TickSeconds lastAlarmTime) const;

private:
    // Whether group g gets an error file now; the caller holds the
    // semaphore.
    bool groupNeedsFile(int g) const;
    bool writeGroupErrorFile(int group);
    void errorFileFailed(const QByteArray &name);

    StationCore &m_core;
    ReportThreadState &m_state;
};
