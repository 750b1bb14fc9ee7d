#include "station/SupervisionTick.h"

#include "common/Text8.h"
#include "platform/Shell.h"
#include "station/LogFile.h"
#include "station/ServiceControl.h"
#include "station/StartupTexts.h"
#include "station/StationCore.h"
#include "station/StationStartup.h"
#include "station/StationWindow.h"
#include "station/SupervisionTexts.h"

#include <QCoreApplication>
#include <QDir>

void SupervisionTick::run()
{
    StationState &st = m_core.state;
    ServiceStore *service = m_core.platform().service;

    // 1, 2
    m_window.stopWindowTimer(StationTimer::Timer1);
    m_window.addTrayIcon();

    // 3: the service host's control value ("IDLE" is answered here).
    const ServiceControl::Reaction control =
        service ? ServiceControl::SuperviseControlValue(*service) : ServiceControl::Reaction::None;

    // 4: an update restart that the reporting thread arranged. The control
    // value it wrote ("UPDATE") stays for the service host.
    if (st.RebootAfterUpdate.load())
        endForUpdate();

    // 5
    if (control == ServiceControl::Reaction::Shutdown)
        endForShutdown();

    // 6: close a message box of the program that nobody answered.
    m_window.setWindowTimerInterval(StationTimer::Timer1, m_window.closeOwnOpenBox() ? 1000 : 5000);

    // 7
    if (m_window.aboutBoxShowing())
        m_window.closeAboutBox();

    // 8
    watchdog();

    // 9. Asking the application to end leaves the loop later; the tick
    // itself runs to its end.
    m_window.startWindowTimer(StationTimer::Timer1);
}

void SupervisionTick::waitForWorkers(int rounds, bool beepFirst)
{
    StationState &st = m_core.state;
    for (int i = 0; i < rounds && st.ActiveThreadCount.load() > 0; ++i) {
        m_core.processPendingMessages();
        if (beepFirst)
            m_core.beep();
        m_core.sleep(50);
        if (!beepFirst)
            m_core.beep();
    }
}

void SupervisionTick::endForUpdate()
{
    StationState &st = m_core.state;
    m_core.beep();
    st.TerminateRequested = true;
    st.SensorRunning = false;
    waitForWorkers(100, true);
    m_core.beep();
    WriteLogLine(m_core, Text8::cp(SupervisionTexts::UpdateRestartLog));
    m_core.quit();
}

void SupervisionTick::endForShutdown()
{
    StationState &st = m_core.state;
    st.SensorRunning = false;
    m_core.beep();
    st.TerminateRequested = true;
    waitForWorkers(100, false);
    m_core.beep();
    WriteLogLine(m_core, StartupTexts::ShutdownLog);
    m_core.quit();
}

void SupervisionTick::watchdog()
{
    StationState &st = m_core.state;
    const QByteArray measured = st.MeasureTime.get();
    const QByteArray reported = st.ReportHeartbeat.get();
    if (measured != m_startup.WatchMeasureTime && reported != m_startup.WatchReportHeartbeat) {
        m_startup.WatchMeasureTime = measured;
        m_startup.WatchReportHeartbeat = reported;
        m_startup.DeadlockCount = 0;
        return;
    }
    ++m_startup.DeadlockCount;
    if (m_startup.DeadlockCount <= DeadlockTicks)
        return;

    restartProgram();
    st.SensorRunning = false;
    m_core.beep();
    st.TerminateRequested = true;
    // Ends even when the workers do not stop within these 10 s.
    waitForWorkers(200, false);
    m_core.beep();
    WriteLogLine(m_core, Text8::cp(SupervisionTexts::DeadlockLog));
    m_core.quit();
}

void SupervisionTick::restartProgram()
{
    // A new copy of this executable in the working directory, started
    // detached so that it outlives this one; its start-up ends this copy if
    // it still runs (the instance hunt), and it takes the instance lock once
    // this copy has let go of it.
    Shell *shell = m_core.platform().shell;
    if (!shell)
        return;
    const QString directory = m_core.platform().workingDirectory.isEmpty()
                                  ? QDir::currentPath()
                                  : m_core.platform().workingDirectory;
    shell->open(QCoreApplication::applicationFilePath(), {}, directory, Shell::Show::Normal);
}
