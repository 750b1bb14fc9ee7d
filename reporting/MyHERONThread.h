#pragma once

#include "common/Clock.h"
#include "reporting/AlarmFiling.h"
#include "reporting/ConfigExchange.h"
#include "reporting/HttpProxyConnector.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportSession.h"
#include "reporting/ReportThreadState.h"
#include "reporting/ServerTransport.h"
#include "reporting/UpdateRestart.h"

#include <QByteArray>
#include <QThread>

#include <memory>

class QTcpSocket;
class StationCore;
class FrameSocket;

// The reporting thread: about once a second it decides whether the station
// must talk to the HERON server, keeps the alarm bookkeeping between the
// measurement thread and the server (expiry, error files) and, when there is
// something to report, runs the report connection as the rest of the pass.
//
// The body runs as a sequence of passes (step()). Execute() runs them on the
// thread; tests call threadStart() and step() directly, without a thread, on
// a manual clock.
class MyHERONThread : public QThread
{
public:
    // httpProxy makes the way through an HTTP proxy; without one the HTTP
    // branch of the transport fails as a refusing proxy would.
    explicit MyHERONThread(StationCore &core, std::shared_ptr<HttpProxyConnector> httpProxy = nullptr,
                           QObject *parent = nullptr);
    ~MyHERONThread() override;

    // The thread body.
    void Execute();

    // Start steps (includes the 10 s start wait).
    void threadStart();
    // The loop head and one pass; false once the body has to end.
    bool step();
    // End of the body: the transport taken down, the thread counted out.
    void threadEnd();

    // --- Error files ------------------------------------------------------
    // The name for the next error file; advances the counter. A name still
    // taken by a file waiting to be sent is skipped.
    QByteArray MakeErrorFileName();
    // One error record line without its line end; kind 1 ignores value text
    // and unit.
    QByteArray MakeErrorRecord(int kind, const QByteArray &parameter, const QByteArray &text,
                               const QByteArray &valueText, const QByteArray &unit,
                               const QByteArray &flag) const;
    // Whether a limit or CPU group may get a new error file.
    bool AlarmRepeatDue(qint32 intervalSeconds, TickSeconds lastAlarmTime) const;

    // --- Report transport -------------------------------------------------
    // Forwarded to the transport (see ServerTransport).
    void PrepareConnection();
    void DisconnectServer();
    bool ConnectServer(QByteArray &message);
    static constexpr int ConnectTimeoutMs = ServerTransport::ConnectTimeoutMs;
    FrameSocket *Cl2Socket() const;
    QTcpSocket *ReportIOHandler() const { return m_transport.ReportIOHandler(); }
    ServerTransport &transport() { return m_transport; }

    // --- Thread state -----------------------------------------------------
    ReportThreadState &state() { return m_state; }
    const ReportThreadState &state() const { return m_state; }

    // AlarmInterval (hours) to the report interval in seconds; cuts the text
    // in place before its first character above '9'.
    static qint32 ReportIntervalFrom(QByteArray &alarmInterval);

    // --- Configuration exchange and updates --------------------------------
    // See ConfigExchange.
    static constexpr int MaxConfigLineBytes = ConfigExchange::MaxConfigLineBytes;
    static constexpr qint64 MaxConfigFileBytes = ConfigExchange::MaxConfigFileBytes;
    ConfigExchange &exchange() { return m_exchange; }

    // The frame client and the sequence state the session and the exchange
    // share.
    ReportConnection &connection() { return m_connection; }

    enum class Phase { Running, Finished };
    Phase phase() const { return m_phase; }

    // The version text sent after the station identifier.
    static QByteArray ReportVersionText() { return ReportSessionRunner::ReportVersionText(); }

    // --- Report session ---------------------------------------------------
    // See ReportSessionRunner.
    using SessionStage = ReportSessionRunner::Stage;
    ReportSessionRunner &session() { return m_session; }

protected:
    void run() override { Execute(); }

    // The report connection: the rest of a pass after "---->Verbindungsaufbau".
    // Connect, login, identifier, version, report kind, error files, record
    // files, log files, the exchange with the server, logout, closing.
    virtual void runReportSession();
    // The common failure path of the report connection.
    void sessionFailed(SessionStage stage = SessionStage::Connect) { m_session.failed(stage); }

    // The configuration exchange (upload and download of the configuration)
    // and the update steps (viewer, station), on the open connection after
    // the log files and before the logout (see ConfigExchange). false when
    // one of them failed after its own texts and cancels: the session then
    // takes the failure path.
    virtual bool exchangeWithServer(TCPUtils::TransferBound &bound);
    // After a completed report: runs the update restart when a station update
    // waits for it (UpdatePending), and tells whether it ran (the thread then
    // ends and the next supervision tick ends the program).
    virtual bool updateRestart();

    StationCore &m_core;
    ReportThreadState m_state;

private:
    bool keepRunning() const;
    void pass();
    bool acknowledge();
    void statusLine(const QByteArray &text);

    AlarmFiling m_alarms;
    UpdateRestart m_restart;
    ServerTransport m_transport;
    ReportConnection m_connection{m_transport};
    ConfigExchange m_exchange;
    ReportSessionRunner m_session;
    Phase m_phase = Phase::Running;
    bool m_started = false;
};
