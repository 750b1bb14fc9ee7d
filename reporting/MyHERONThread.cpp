#include "reporting/MyHERONThread.h"

#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "reporting/FrameSocket.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "station/LogFile.h"
#include "station/MeasureRecords.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

constexpr int kFailurePauseMs = 5000;
constexpr int kIdlePauseMs = 1000;
constexpr int kStartWaitMs = 10000;

QByteArray roundedSeconds(TickSeconds seconds)
{
    return QByteArray::number(static_cast<qint64>(std::llrint(seconds)));
}

} // namespace

MyHERONThread::MyHERONThread(StationCore &core, std::shared_ptr<HttpProxyConnector> httpProxy,
                             QObject *parent)
    : QThread(parent)
    , m_core(core)
    , m_alarms(core, m_state)
    , m_restart(core)
    , m_transport(core, std::move(httpProxy))
    , m_exchange(core, m_state, m_connection)
    , m_session(core, m_state, m_connection,
                ReportSessionRunner::Steps{
                    [this](TCPUtils::TransferBound &bound) { return exchangeWithServer(bound); },
                    [this] { return updateRestart(); }, [this] { return m_alarms.alarmWaiting(); }})
{
    setObjectName(QStringLiteral("MyHERONThread")); // the thread's name in the system's lists
}

MyHERONThread::~MyHERONThread()
{
    requestInterruption();
    // The body may be waiting for a hand-over to the GUI thread: keep
    // running them while waiting for it to end.
    while (isRunning() && !wait(5)) {
        if (m_core.handover.isGuiThread())
            m_core.handover.drain();
    }
}

void MyHERONThread::Execute()
{
    threadStart();
    while (step()) {
    }
    threadEnd();
}

bool MyHERONThread::keepRunning() const
{
    return !isInterruptionRequested() && !m_core.state.TerminateRequested.load();
}

FrameSocket *MyHERONThread::Cl2Socket() const
{
    return m_transport.Cl2Socket();
}

void MyHERONThread::runReportSession()
{
    if (m_session.run())
        m_phase = Phase::Finished;
}

bool MyHERONThread::exchangeWithServer(TCPUtils::TransferBound &bound)
{
    return m_exchange.run(bound);
}

void MyHERONThread::statusLine(const QByteArray &text)
{
    m_core.appendStatusLineLocked(text);
}

void MyHERONThread::threadStart()
{
    StationState &s = m_core.state;
    const StationConfig &cfg = m_core.config;
    s.ActiveThreadCount.fetch_add(1);
    m_started = true;
    m_phase = Phase::Running;
    m_transport.reset();

    m_state.PendingAlarmFlags = 0;
    m_state.ReportFailed = false;
    m_state.ReportDue = false;
    m_state.LanErrorFiled = false;
    m_state.FirstPass = true;

    {
        SharedDataLock lock(m_core.semaphore);
        s.AlarmCpu.LastAlarmTime = 0;
        for (LimitAlarm *a : {&s.AlarmT, &s.AlarmTP, &s.AlarmT_TP, &s.AlarmRH})
            a->LastAlarmTime = 0;
    }

    // What a download cut off by a kill left is no configuration at all.
    m_exchange.removeReceivedLeftover();

    // A configuration written before an update restart: report at once.
    if (QFileInfo::exists(StationFileNames::configCopyName(cfg.StationId))) {
        statusLine(cp(ReportAfterUpdate));
        s.AcknowledgeRequest = true;
    }

    // The start wait, in short steps, so that a shut-down during it need
    // not wait it out.
    for (int waited = 0; waited < kStartWaitMs && !s.TerminateRequested.load(); waited += 100)
        sleepMs(m_core.clock(), std::min(100, kStartWaitMs - waited));

    // Record files left from before the start: two or more force a report.
    const qsizetype waiting = StationFileNames::measureFiles(QDir::current(), cfg.StationId).size();
    if (waiting >= 2)
        s.AcknowledgeRequest = true;
}

void MyHERONThread::threadEnd()
{
    DisconnectServer();
    m_transport.reset();
    if (m_started) {
        m_core.state.ActiveThreadCount.fetch_sub(1);
        m_started = false;
    }
    m_phase = Phase::Finished;
}

bool MyHERONThread::step()
{
    if (m_phase == Phase::Finished || !keepRunning()) {
        m_phase = Phase::Finished;
        return false;
    }
    try {
        pass();
    } catch (...) {
        // A failure that no step handled ends the pass. Every lock, file and
        // search of the pass is released by its own guard on the way out.
        sleepMs(m_core.clock(), kFailurePauseMs);
    }
    return true;
}

qint32 MyHERONThread::ReportIntervalFrom(QByteArray &alarmInterval)
{
    qsizetype cut = 0;
    while (cut < alarmInterval.size() && static_cast<quint8>(alarmInterval[cut]) <= '9')
        ++cut;
    alarmInterval.truncate(cut);
    if (alarmInterval.isEmpty())
        alarmInterval = "0";
    qint64 hours = 0;
    const qint64 seconds = toInteger(alarmInterval, hours) ? hours * 3600 : 0;
    if (seconds == 0 || seconds > 86400)
        return 86400;
    return static_cast<qint32>(seconds);
}

void MyHERONThread::pass()
{
    StationState &s = m_core.state;
    StationConfig &cfg = m_core.config;

    // 1: one LAN error file per failure streak.
    if (m_state.ReportFailed && !m_state.LanErrorFiled) {
        m_state.LanErrorFiled = true;
        if (!m_alarms.writeLanErrorFile())
            return;
        SharedDataLock lock(m_core.semaphore);
        s.AlarmFlags |= AlarmBit::Network;
        m_state.PendingAlarmFlags |= s.AlarmFlags;
    }

    // 2 to 6: heartbeat, interval, acknowledgement.
    bool enableCommands = false;
    bool logAcknowledge = false;
    {
        SharedDataLock lock(m_core.semaphore);
        s.ReportHeartbeat = now(m_core.clock());
        m_state.ReportInterval = ReportIntervalFrom(cfg.AlarmInterval);
        m_state.PassTickTime = m_core.clock().tickSeconds();

        if (s.AcknowledgeRequest.load()) {
            s.AcknowledgeRequest = false;
            m_state.LanErrorFiled = false;
            const bool immediate = s.ImmediateReport.load();
            if (s.AlarmFlags != 0 && !immediate) {
                m_core.appendStatusLine(cp(ErrorAcknowledged));
                enableCommands = true;
            } else {
                m_core.appendStatusLine(cp(AcknowledgeConnect) + cfg.ServerHost + ':' + cfg.ServerPort);
                logAcknowledge = true;
            }
            if (s.AlarmFlags == 0 || immediate)
                s.LastReportTime = -2.0L * m_state.ReportInterval;
            if (!immediate) {
                s.AlarmCpu.AlarmTime = 0;
                s.AlarmCpu.LastAlarmTime = 0;
                s.AlarmCpu.RedCount = 0;
                for (LimitAlarm *a : {&s.AlarmT, &s.AlarmTP, &s.AlarmT_TP, &s.AlarmRH}) {
                    a->AlarmTime = 0;
                    a->LastAlarmTime = 0;
                    a->RedCount = 0;
                }
                s.AlarmRI.AlarmTime = 0;
                s.AlarmDC.AlarmTime = 0;
                s.AlarmSensor.AlarmTime = 0;
                s.AlarmSensor.SensorErrorCount = 0;
                s.AlarmFlags = 0;
                s.FiledAlarmFlags = 0;
                s.ReportedAlarmFlags = 0;
                m_state.ReportFailed = false;
            }
        }
    }
    if (enableCommands)
        m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(true); });
    if (logAcknowledge)
        WriteLogLine(m_core, cp(LogAcknowledgeKey));

    // 7: no alarm expires while the server cannot be reached.
    if (!m_state.ReportFailed)
        m_alarms.expireAlarms();

    // 8: nothing new and the interval still running: the pass ends here.
    if (!m_state.FirstPass) {
        TickSeconds next = 0;
        bool unchanged = false;
        {
            SharedDataLock lock(m_core.semaphore);
            next = s.LastReportTime + m_state.ReportInterval;
            unchanged = s.AlarmFlags == s.ReportedAlarmFlags;
        }
        if (unchanged) {
            const TickSeconds left = next - m_state.PassTickTime;
            const QByteArray text = roundedSeconds(left);
            m_core.onGui([text](StationView &v) { v.setIntervallLeft(text); });
            if (left > 0 && left < m_state.ReportInterval && !s.ImmediateReport.load()) {
                sleepMs(m_core.clock(), kIdlePauseMs);
                return;
            }
        }
    }

    // 9: error files for new alarms.
    if (!m_alarms.fileNewAlarms())
        return;

    // 10: due by time, by a wrapped tick counter or on request.
    TickSeconds last = 0;
    {
        SharedDataLock lock(m_core.semaphore);
        last = s.LastReportTime;
    }
    const TickSeconds next = last + m_state.ReportInterval;
    const QByteArray text = roundedSeconds(next - m_state.PassTickTime);
    m_core.onGui([text](StationView &v) { v.setIntervallLeft(text); });
    const bool byTime = next < m_state.PassTickTime;
    const bool byWrap = last > m_state.PassTickTime + m_state.ReportInterval;
    if (byTime || byWrap || s.ImmediateReport.load()) {
        m_state.ReportDue = true;
        if (byTime || byWrap)
            WriteLogLine(m_core, cp(LogIntervalReport));
    }

    // 11
    if (!m_state.ReportDue && m_state.PendingAlarmFlags == 0) {
        sleepMs(m_core.clock(), kIdlePauseMs);
        return;
    }

    // 12
    if (s.ImmediateReport.load())
        WriteLogLine(m_core, cp(LogImmediateActive));
    if (m_state.PendingAlarmFlags != 0)
        WriteLogLine(m_core, cp(LogAcknowledgeActive));
    WriteLogLine(m_core, cp(LogConnecting));
    runReportSession();
}

// --- Error files -----------------------------------------------------------

QByteArray MyHERONThread::MakeErrorFileName()
{
    return m_alarms.MakeErrorFileName();
}

QByteArray MyHERONThread::MakeErrorRecord(int kind, const QByteArray &parameter, const QByteArray &text,
                                          const QByteArray &valueText, const QByteArray &unit,
                                          const QByteArray &flag) const
{
    return m_alarms.MakeErrorRecord(kind, parameter, text, valueText, unit, flag);
}

bool MyHERONThread::AlarmRepeatDue(qint32 intervalSeconds, TickSeconds lastAlarmTime) const
{
    return m_alarms.AlarmRepeatDue(intervalSeconds, lastAlarmTime);
}

// --- Report transport ------------------------------------------------------

void MyHERONThread::PrepareConnection()
{
    m_transport.PrepareConnection();
}

bool MyHERONThread::ConnectServer(QByteArray &message)
{
    return m_transport.ConnectServer(message);
}

void MyHERONThread::DisconnectServer()
{
    m_transport.DisconnectServer();
}

bool MyHERONThread::updateRestart()
{
    return m_restart.run();
}
