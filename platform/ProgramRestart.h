#pragma once

#include <QByteArray>
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
        // How long the new program is watched after its start: a new program
        // that fails within this time gives the previous one back, which is
        // watched as long (its failure too frees the update). A minute
        // covers its start-up (an older copy ended: 2 x 0.5 s + 5 s; the
        // countdown: 10 x 0.5 s), the reporting thread's 10 s start wait and
        // a first report whose connection takes its whole 21 s time-out.
        int windowMs = 60000;
        // The update's digest (UpdateFallback::digestOf), kept in the note of
        // a put-back program; may be empty.
        QByteArray digest;
    };

    virtual ~ProgramRestart() = default;
    // false when nothing could be scheduled.
    virtual bool schedule(const Plan &plan) = 0;
    // Removes what a replace of `executable` that was cut off (a power cut,
    // a helper that was killed) left beside it; called at the start of the
    // program. Says what could not be removed; empty otherwise.
    virtual QString removeCutOffReplace(const QString &executable) = 0;
};

// Linux: a small shell script in a detached process of its own session,
// started with its standard channels on /dev/null, so that neither the end
// of the station nor the end of its terminal or of its parent takes it
// along. It waits until the program has ended, then for the delay, then
// keeps the program as <executable>.old beside the new one, replaces the
// executable by a complete (non-empty) update in one rename and starts the
// program; without a usable update, or when the previous program cannot be
// kept, the old program starts again, so the station always comes back.
//
// The replace reaches the disk: the update's copy and the kept program are
// written under temporary names beside the executable (ReplaceSuffix and
// the helper's process id behind the executable's and the kept program's
// names), synced (fsync) and only then renamed into place; the folder is
// synced after the renames. When the sync of the files fails, nothing is
// replaced. Temporary names that a cut-off replace left are removed at the
// next start (removeCutOffReplace), those of a helper that still runs
// excepted.
//
// The new program is watched for the window: when it ends within it, the
// previous program is put back and started, once, after a note for it
// (UpdateFallback::NoteFile) was left in the working directory; unless it
// ended itself with status 0 (a second instance, SHUTDOWN) or someone else
// ended it (SIGTERM, SIGKILL, SIGINT, SIGHUP), which is no failure of the
// update. Any other status (255 of a main that returned -1 included) and
// any other signal, a fault's or not, is a failure. The shell's wait
// reports a signal n as status 128 + n: a status above 128 is noted as that
// signal when n is one, else as the status.
//
// The previous program, put back, is watched for the window by the same
// rule: when it fails too, the machine failed and not the update, so the
// note is removed (and the record of the failed update, when the previous
// program had already taken the note as UpdateFallback::FailedUpdateFile
// and it names this update) and nothing more is started; the same update
// may be installed again at a later report. Past the window the helper
// ends and leaves the program running; the kept previous program stays
// until the next update replaces it.
class DetachedProgramRestart : public ProgramRestart
{
public:
    // Between the executable's (or the kept program's) name and the
    // helper's process id in a temporary name of a replace.
    static constexpr char ReplaceSuffix[] = ".new";

    bool schedule(const Plan &plan) override;
    // Removes the files <executable>.new<pid> and <executable>.old.new<pid>
    // whose <pid> (decimal digits only) is no running process.
    QString removeCutOffReplace(const QString &executable) override;

    // The delay after the end of the program: $KLIMAWARTE_RESTART_DELAY_MS
    // when it is a number of milliseconds, else 216000 (0.0025 days).
    static int delayMs();
    // The script the helper runs: positional parameters pid, delay in
    // seconds, directory, update, executable, window in steps of 0.1 s,
    // the update's digest.
    static QString script();
};
