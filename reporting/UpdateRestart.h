#pragma once

#include <QByteArray>
#include <QTime>

class StationCore;

// The update restart after a completed report: when a station update waits
// (UpdatePending), writes restart.bat, the identifier copy and jobat.bat,
// has the platform schedule the restart and asks the program to end.
class UpdateRestart
{
public:
    explicit UpdateRestart(StationCore &core);

    // Whether the restart ran (the thread then ends and the next supervision
    // tick ends the program). An update whose header is no program for this
    // machine is removed instead, with a log line, and the station goes on;
    // so is one that cannot be read whole, and the same update as one that
    // could not run here before.
    bool run();

    // The two command scripts of the update restart, byte for byte (CR LF):
    // restart.bat replaces and starts the program in `dir`; jobat.bat
    // schedules it with AT at `now` + 216 s (long time format of the locale).
    static QByteArray RestartBatch(const QByteArray &dir);
    static QByteArray JobAtBatch(const QByteArray &dir, const QTime &now);

private:
    StationCore &m_core;
};
