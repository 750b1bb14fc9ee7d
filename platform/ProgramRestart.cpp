#include "platform/ProgramRestart.h"

#include <QProcess>

namespace {

constexpr int kDefaultDelayMs = 216000;
// The program gets this long (in steps of 0.1 s) to end; a program that
// does not end by then is ended by the start-up of the new one.
constexpr int kEndWaitSteps = 1200;

} // namespace

int DetachedProgramRestart::delayMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariable("KLIMAWARTE_RESTART_DELAY_MS").toInt(&ok);
    return ok && ms >= 0 ? ms : kDefaultDelayMs;
}

QString DetachedProgramRestart::script()
{
    return QStringLiteral(
               "pid=$1; delay=$2; dir=$3; update=$4; exe=$5\n"
               "n=0\n"
               "while [ $n -lt %1 ] && [ -e /proc/$pid ]; do\n"
               "  state=$(sed 's/.*) //' /proc/$pid/stat 2>/dev/null | cut -c1)\n"
               "  [ \"$state\" = Z ] && break\n"
               "  sleep 0.1; n=$((n+1))\n"
               "done\n"
               "sleep \"$delay\"\n"
               "cd \"$dir\" || exit 1\n"
               "if [ -f \"$update\" ] && [ -s \"$update\" ]; then\n"
               "  new=\"$exe.new$$\"\n"
               "  if cp \"$update\" \"$new\" && chmod +x \"$new\" && mv -f \"$new\" \"$exe\"; then\n"
               "    rm -f \"$update\"\n"
               "  else\n"
               "    rm -f \"$new\"\n"
               "  fi\n"
               "fi\n"
               "exec \"$exe\"\n")
        .arg(kEndWaitSteps);
}

bool DetachedProgramRestart::schedule(const Plan &plan)
{
    const QString delay = QStringLiteral("%1.%2")
                              .arg(plan.delayMs / 1000)
                              .arg(plan.delayMs % 1000, 3, 10, QLatin1Char('0'));
    QProcess helper;
    helper.setProgram(QStringLiteral("/bin/sh"));
    helper.setArguments({QStringLiteral("-c"), script(), QStringLiteral("klimawarte-restart"),
                         QString::number(plan.pid), delay, plan.directory, plan.update, plan.executable});
    helper.setWorkingDirectory(plan.directory);
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(QProcess::nullDevice());
    return helper.startDetached();
}
