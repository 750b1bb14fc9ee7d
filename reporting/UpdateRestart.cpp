// The update restart: once a station update waits in its place, the
// scripts that replace and start the program are written, the identifier
// copy makes the new program report at once, and the program ends.

#include "reporting/UpdateRestart.h"

#include "common/LocaleFormat.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "platform/ProgramHeader.h"
#include "platform/ProgramRestart.h"
#include "platform/ServiceStore.h"
#include "platform/UpdateFallback.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "station/LogFile.h"
#include "station/ServiceControl.h"
#include "station/StationConfigFile.h"
#include "station/StationCore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

constexpr int kRestartTickMs = 10;
constexpr int kRestartOffsetSeconds = 216; // 0.0025 days
constexpr int kTimerPauseMs = 50;

bool writeWhole(const QString &file, const QByteArray &bytes)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    // The explicit flush: a commit whose last write failed in the buffer
    // would otherwise put an empty or cut file in place (seen with a full
    // disk).
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace

UpdateRestart::UpdateRestart(StationCore &core)
    : m_core(core)
{
}

QByteArray UpdateRestart::RestartBatch(const QByteArray &dir)
{
    return "cd " + dir + "\r\n" + "del " + dir + "\\Klimawarte.exe\r\n" + "ren Klimawarte.upd Klimawarte.exe\r\n"
           + dir + "\\Klimawarte.exe\r\n" + "exit\r\n";
}

QByteArray UpdateRestart::JobAtBatch(const QByteArray &dir, const QTime &now)
{
    const QTime at = now.addSecs(kRestartOffsetSeconds); // wraps past midnight
    return "AT " + LocaleFormat::longTime(at) + " /interactive \"" + dir + "\\restart.bat\"\r\n";
}

bool UpdateRestart::run()
{
    if (!m_core.mirror.UpdatePending.load())
        return false;
    StationState &s = m_core.state;
    const StationPlatform &platform = m_core.platform();

    // An update that is refused is dropped with a log line, and this
    // program goes on.
    const auto drop = [this](const char *why) {
        QFile::remove(name(StationUpdateFile));
        m_core.mirror.UpdatePending = false;
        WriteLogLine(m_core, cp(why));
        return false;
    };
    // An update that cannot run here would leave no program at all.
    if (!ProgramHeader::runsHere(name(StationUpdateFile)))
        return drop(UpdateNotRunnable);
    // An update that cannot be read whole has no digest: after a failure
    // nothing would tell it again, and it would be installed and fall back
    // at every report.
    const QByteArray digest = UpdateFallback::digestOf(name(StationUpdateFile));
    if (digest.isEmpty())
        return drop(UpdateUnreadable);
    // The same update as one that could not run here before: its restart
    // would only end in the previous program again.
    if (UpdateFallback::failedBefore(digest))
        return drop(UpdateFailedBefore);

    // 1, 2
    const QByteArray dir = currentDirectory();
    writeWhole(name(RestartScript), RestartBatch(dir)); // a failure is not reported

    // 3: the identifier copy makes the new program report at once.
    QByteArray copy;
    QString copyName;
    {
        SharedDataLock lock(m_core.semaphore);
        copy = StationConfigFileBytes(m_core.config);
        copyName = StationConfigFitsLines(m_core.config) ? StationIdCopyFileName(m_core.config.StationId)
                                                         : QString();
    }
    if (copyName.isEmpty() || !writeWhole(copyName, copy)) {
        m_core.onGui([](StationView &v) { v.Timer1Status(false); });
        m_core.sleep(kTimerPauseMs);
        m_core.onGui([this](StationView &v) {
            v.Timer1Status(true);
            m_core.notify(cp(RestartWriteError));
        });
    }

    try {
        // 4: the service host restarts a service itself; it learns why.
        if (platform.service) {
            const QByteArray display = ServiceControl::ReadServiceValue(*platform.service, ServiceDisplayName);
            if (Text8::upper(display) == ServiceHostName)
                ServiceControl::WriteServiceControl(*platform.service, ControlUpdate);
        }
        // 5
        writeWhole(name(ScheduleScript), JobAtBatch(dir, m_core.clock().localDateTime().time()));
        // 6: jobat.bat has no interpreter here; the platform's scheduler
        // does what it and restart.bat do.
        if (platform.restart) {
            ProgramRestart::Plan plan;
            plan.directory = QDir::currentPath();
            plan.update = name(StationUpdateFile);
            plan.executable = QCoreApplication::applicationFilePath();
            plan.pid = QCoreApplication::applicationPid();
            plan.delayMs = platform.restartDelayMs;
            plan.digest = digest;
            platform.restart->schedule(plan);
        }
        // 7: the next supervision tick ends the program.
        s.TerminateRequested = true;
        s.RebootAfterUpdate = true;
        m_core.onGui([](StationView &v) { v.rearmTimer1(kRestartTickMs); });
    } catch (...) {
        // The tick ends the program at its regular interval.
        s.RebootAfterUpdate = true;
        s.TerminateRequested = true;
    }
    return true;
}
