#pragma once

#include <QString>
#include <QtGlobal>

// The system scheduler of the update restart: once the station program has
// ended and a delay has passed, the received update takes the place of the
// program's executable and the new program starts in the working directory
// (what restart.bat, started by the AT scheduler, does on Windows).
class ProgramRestart
{
public:
    struct Plan
    {
        QString directory;  // the working directory; the new program starts there
        QString update;     // the received update, relative to the directory
        QString executable; // the program file it replaces
        qint64 pid = 0;     // the program that has to end first
        int delayMs = 216000;
    };

    virtual ~ProgramRestart() = default;
    // false when nothing could be scheduled.
    virtual bool schedule(const Plan &plan) = 0;
};

// Linux: a small shell script in a detached process of its own session,
// started with its standard channels on /dev/null, so that neither the end
// of the station nor the end of its terminal or of its parent takes it
// along. It waits until the program has ended, then for the delay, then
// replaces the executable by a complete (non-empty) update in one rename
// and starts the program; without a usable update the old program starts
// again, so the station always comes back.
class DetachedProgramRestart : public ProgramRestart
{
public:
    bool schedule(const Plan &plan) override;

    // The delay after the end of the program: $KLIMAWARTE_RESTART_DELAY_MS
    // when it is a number of milliseconds, else 216000 (0.0025 days).
    static int delayMs();
    // The script the helper runs: positional parameters pid, delay in
    // seconds, directory, update, executable.
    static QString script();
};
