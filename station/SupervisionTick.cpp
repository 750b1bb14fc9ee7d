#include "station/SupervisionTick.h"

#include "station/LogFile.h"
#include "station/ServiceControl.h"
#include "station/StartupTexts.h"
#include "station/StationCore.h"
#include "station/StationWindow.h"

void SupervisionTick::run()
{
    StationState &st = m_core.state;
    ServiceStore *service = m_core.platform().service;
    m_window.stopWindowTimer(StationTimer::Timer1);

    // The service host's control value.
    if (service && ServiceControl::SuperviseControlValue(*service) == ServiceControl::Reaction::Shutdown) {
        st.SensorRunning = false;
        m_core.beep();
        st.TerminateRequested = true;
        // Here each round waits before it beeps.
        for (int i = 0; i < 100 && st.ActiveThreadCount.load() > 0; ++i) {
            m_core.processPendingMessages();
            m_core.sleep(50);
            m_core.beep();
        }
        m_core.beep();
        WriteLogLine(m_core, StartupTexts::ShutdownLog);
        m_core.quit();
    }

    // Close a message box of the program that nobody answered.
    m_window.setWindowTimerInterval(StationTimer::Timer1, m_window.closeOwnOpenBox() ? 1000 : 5000);
    m_window.startWindowTimer(StationTimer::Timer1);
}
