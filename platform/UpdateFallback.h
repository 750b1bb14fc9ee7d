#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the update restart leaves when a new station program could not run:
// the restart keeps the previous program beside the new one
// (<program>.old), and when the new one fails right after its start it
// puts the previous one back, starts it and leaves a note in the working
// directory. The program that starts then reads the note once, when its
// start got through; the note stays as the record of the update that
// failed, so that the same update is not installed again. When the previous
// program fails too, the restart removes the note (or the record it became)
// again: then the machine failed, not the update.
namespace UpdateFallback {

// The previous program, beside the program file.
inline constexpr char KeptProgramSuffix[] = ".old";
// The note of a put-back program, in the working directory; read once at
// the next start.
inline constexpr char NoteFile[] = "Klimawarte.zurueck";
// The note once read: the record of the update that failed.
inline constexpr char FailedUpdateFile[] = "Klimawarte.defekt";

// The note's lines, each "key=value" and ended by LF:
//   program=<the program file started again>
//   status=<exit status> or signal=<signal number>
//   update=<SHA-256 of the update that failed, 64 lower-case hex digits>
// The restart script writes them under these keys.
inline constexpr char ProgramKey[] = "program";
inline constexpr char StatusKey[] = "status";
inline constexpr char SignalKey[] = "signal";
inline constexpr char UpdateKey[] = "update";

// A note is read only up to this size; a longer one is no note.
inline constexpr qint64 MaxNoteBytes = 4096;

struct Note
{
    QByteArray program; // as the script wrote it (the file name's bytes)
    bool signalled = false;
    int code = 0;      // the exit status, or the signal that ended it
    QByteArray update; // the failed update's digest; empty when the note names none
};

// The note in `bytes`, or nothing when they hold no whole, sound note: a
// program without control characters, one exit status or signal from 1 to
// 255. A digest that is not 64 lower-case hex digits is left out.
std::optional<Note> parse(const QByteArray &bytes);

struct Taken
{
    std::optional<Note> note; // the note, when there was a sound one
    // Said when the note could not be read, was no note, or could not be
    // kept or removed; empty otherwise.
    QString problem;
};

// Takes the note of the working directory, once: a sound note that names
// its update becomes the record of the failed update (FailedUpdateFile);
// any other note, an unreadable one or garbage, is removed. Nothing when
// there is no note.
Taken takeNote();

// The digest of a file as the note names it (SHA-256, lower-case hex);
// empty when the file cannot be read whole (read through FileCalls).
QByteArray digestOf(const QString &file);

// Whether `digest` is that of the update recorded as failed.
bool failedBefore(const QByteArray &digest);

} // namespace UpdateFallback
