#pragma once

#include "reporting/MyHERONThread.h"
#include "station/StationCore.h"

// The reporting thread with its report connection scripted: each pass that
// reaches the connection either fails (the common failure path) or completes
// the report, leaving the thread state as a completed report does.
class ScriptedHERONThread : public MyHERONThread
{
public:
    using MyHERONThread::MyHERONThread;

    enum class Outcome { Fail, Complete };
    Outcome outcome = Outcome::Complete;
    int sessions = 0;
    quint32 lastPending = 0; // PendingAlarmFlags when the last session began

protected:
    void runReportSession() override
    {
        ++sessions;
        lastPending = m_state.PendingAlarmFlags;
        if (outcome == Outcome::Fail) {
            sessionFailed();
            return;
        }
        StationState &s = m_core.state;
        SharedDataLock lock(m_core.semaphore);
        m_state.LanErrorFiled = false;
        m_state.ReportDue = false;
        m_state.FirstPass = false;
        s.ImmediateReport = false;
        s.LastReportTime = m_core.clock().tickSeconds();
        s.ReportedAlarmFlags |= m_state.PendingAlarmFlags;
        m_state.PendingAlarmFlags = 0;
    }
};
