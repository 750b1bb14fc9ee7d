#include "platform/ProgramRestart.h"

#include "platform/UpdateFallback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <limits>
#include <optional>

#include <unistd.h>

namespace {

constexpr int kDefaultDelayMs = 216000;
// The program gets this long (in steps of 0.1 s) to end; a program that
// does not end by then is ended by the start-up of the new one.
constexpr int kEndWaitSteps = 1200;

// The number written in decimal digits only, or nothing.
std::optional<qint64> digitsOnly(const QString &text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return text.toLongLong();
}

// Whether process `pid` runs; a number that is no process id is none.
bool running(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The statuses with which the shell's wait reports a program that someone
// else ended (128 + the signal), as a case pattern: no failure of the
// program. wait gives a program's own exit with such a status the same way.
QString outsideEnds()
{
    QStringList statuses;
    for (int signal : {SIGHUP, SIGINT, SIGKILL, SIGTERM})
        statuses.append(QString::number(128 + signal));
    return statuses.join(QLatin1Char('|'));
}

} // namespace

int DetachedProgramRestart::delayMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariable("KLIMAWARTE_RESTART_DELAY_MS").toInt(&ok);
    return ok && ms >= 0 ? ms : kDefaultDelayMs;
}

QString DetachedProgramRestart::script()
{
    // state: the state letter of process $1 in $s, empty once it is gone.
    // watched: runs the program file $exe as a child and watches it for the
    // window; false when it failed within it, with the failure in $reason.
    // The child gets the default INT and QUIT a started program has (a
    // shell lets the programs it starts in the background ignore them), and
    // it runs on past the window.
    // The update's copy and the kept program reach the disk (sync FILE...
    // syncs each file) before they are renamed into place, and the folder
    // after the renames, so that a power cut leaves a whole program at the
    // program's path.
    // The previous program, put back, is watched the same way: when it fails
    // too, the fault is not the update's (a flag file that cannot be written,
    // no display), so the note goes, and with it the record of the update
    // when the previous program took the note before it failed; the update
    // may come again.
    return QStringLiteral(
               "pid=$1; delay=$2; dir=$3; update=$4; exe=$5; window=$6; digest=$7\n"
               "keep=$exe%2\n"
               "state() {\n"
               "  s=\n"
               "  { read -r line < \"/proc/$1/stat\"; } 2>/dev/null || return 0\n"
               "  s=${line##*) }; s=${s%% *}\n"
               "}\n"
               "watched() {\n"
               "  defaults=--default-signal=INT,QUIT; launch=\n"
               "  env $defaults true 2>/dev/null && launch=\"env $defaults\"\n"
               "  $launch \"$exe\" &\n"
               "  child=$!\n"
               "  n=0\n"
               "  while [ $n -lt \"$window\" ]; do\n"
               "    state \"$child\"\n"
               "    if [ -z \"$s\" ] || [ \"$s\" = Z ]; then\n"
               "      wait \"$child\"; rc=$?\n"
               "      case $rc in 0|%8) return 0 ;; esac\n"
               "      sig=$((rc - 128)); reason=\"%5=$rc\"\n"
               "      [ $rc -gt 128 ] && kill -l $sig >/dev/null 2>&1 && reason=\"%4=$sig\"\n"
               "      return 1\n"
               "    fi\n"
               "    sleep 0.1; n=$((n+1))\n"
               "  done\n"
               "  return 0\n"
               "}\n"
               "n=0\n"
               "while [ $n -lt %1 ]; do\n"
               "  state \"$pid\"\n"
               "  { [ -z \"$s\" ] || [ \"$s\" = Z ]; } && break\n"
               "  sleep 0.1; n=$((n+1))\n"
               "done\n"
               "sleep \"$delay\"\n"
               "cd \"$dir\" || exit 1\n"
               "if [ -f \"$update\" ] && [ -s \"$update\" ]; then\n"
               "  new=\"$exe%10$$\"; old=\"$keep%10$$\"; folder=$(dirname -- \"$exe\")\n"
               "  if { ln -T \"$exe\" \"$old\" 2>/dev/null || cp -pT \"$exe\" \"$old\"; } &&\n"
               "     cp \"$update\" \"$new\" && chmod +x \"$new\" && sync \"$new\" \"$old\" &&\n"
               "     mv -fT \"$old\" \"$keep\" && mv -f \"$new\" \"$exe\"; then\n"
               "    sync \"$folder\"\n"
               "    rm -f \"$update\"\n"
               "    watched && exit 0\n"
               "    if mv -f \"$keep\" \"$exe\"; then sync \"$folder\"; else exe=$keep; fi\n"
               "    { printf '%6=%s\\n%s\\n%7=%s\\n' \"$exe\" \"$reason\" \"$digest\" > \"%3.new\" &&\n"
               "      mv -f \"%3.new\" \"%3\"; } 2>/dev/null || rm -f \"%3.new\"\n"
               "    watched && exit 0\n"
               "    rm -f \"%3\"\n"
               "    [ -n \"$digest\" ] && grep -qxF \"%7=$digest\" \"%9\" 2>/dev/null && rm -f \"%9\"\n"
               "    exit 0\n"
               "  fi\n"
               "  rm -f \"$new\" \"$old\"\n"
               "fi\n"
               "exec \"$exe\"\n")
        .arg(kEndWaitSteps)
        .arg(QLatin1String(UpdateFallback::KeptProgramSuffix), QLatin1String(UpdateFallback::NoteFile),
             QLatin1String(UpdateFallback::SignalKey), QLatin1String(UpdateFallback::StatusKey),
             QLatin1String(UpdateFallback::ProgramKey), QLatin1String(UpdateFallback::UpdateKey),
             outsideEnds(), QLatin1String(UpdateFallback::FailedUpdateFile), QLatin1String(ReplaceSuffix));
}

QString DetachedProgramRestart::removeCutOffReplace(const QString &executable)
{
    const QFileInfo program(executable);
    const QDir folder = program.absoluteDir();
    const QString suffix = QLatin1String(ReplaceSuffix);
    const QStringList prefixes{program.fileName() + suffix,
                               program.fileName() + QLatin1String(UpdateFallback::KeptProgramSuffix) +
                                   suffix};
    QStringList problems;
    const QStringList names =
        folder.entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        for (const QString &prefix : prefixes) {
            if (!name.startsWith(prefix))
                continue;
            const std::optional<qint64> pid = digitsOnly(name.mid(prefix.size()));
            if (!pid || running(*pid))
                continue;
            const QString path = folder.filePath(name);
            if (::unlink(QFile::encodeName(path).constData()) != 0) {
                const int error = errno;
                problems.append(QStringLiteral("cannot remove %1, left by a replace that was cut off: %2")
                                    .arg(path, qt_error_string(error)));
            }
        }
    }
    return problems.join(QStringLiteral("; "));
}

bool DetachedProgramRestart::schedule(const Plan &plan)
{
    const QString delay = QStringLiteral("%1.%2")
                              .arg(plan.delayMs / 1000)
                              .arg(plan.delayMs % 1000, 3, 10, QLatin1Char('0'));
    QProcess helper;
    helper.setProgram(QStringLiteral("/bin/sh"));
    helper.setArguments({QStringLiteral("-c"), script(), QStringLiteral("klimawarte-restart"),
                         QString::number(plan.pid), delay, plan.directory, plan.update, plan.executable,
                         QString::number(std::max(0, plan.windowMs) / 100),
                         QString::fromLatin1(plan.digest)});
    helper.setWorkingDirectory(plan.directory);
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(QProcess::nullDevice());
    return helper.startDetached();
}
