// The report connection of the reporting thread: connect, login, identify,
// send the waiting error, record and log files, exchange with the server,
// logout. Every failure ends in ReportSessionRunner::failed().

#include "reporting/ReportSession.h"

#include "common/LocaleFormat.h"
#include "common/LoginFrame.h"
#include "common/Text8.h"
#include "reporting/FileUpload.h"
#include "reporting/FrameSocket.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportThreadState.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "station/LogFile.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"
#include "station/VersionText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <exception>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

constexpr int kFailurePauseMs = 5000;
constexpr int kTextPauseMs = 100;
constexpr int kFilePauseMs = 500;
constexpr int kLogoutPauseMs = 500;
constexpr int kAlarmMarkerIntervalMs = 500;

// Markers of one kind of file: the first match found, and those of each
// file's frames (before/after each data frame: none for error files).
struct FileMarkers
{
    const char *files;
    FileUpload::Markers frames;
};

constexpr FileMarkers kErrorMarkers{MarkerErrorFiles,
                                    {MarkerErrorOpen, MarkerErrorData, nullptr, nullptr, MarkerErrorClose}};
constexpr FileMarkers kMeasureMarkers{
    MarkerMeasureFiles,
    {MarkerMeasureOpen, MarkerMeasureData, MarkerMeasureBefore, MarkerMeasureAfter, MarkerMeasureClose}};
constexpr FileMarkers kLogMarkers{
    MarkerLogFiles, {MarkerLogOpen, MarkerLogData, MarkerLogBefore, MarkerLogAfter, MarkerLogClose}};

QByteArray exceptionText(const std::exception &e)
{
    return Text8::fromQString(QString::fromLocal8Bit(e.what()));
}

} // namespace

ReportSessionRunner::ReportSessionRunner(StationCore &core, ReportThreadState &state,
                                         ReportConnection &connection, Steps steps)
    : m_core(core)
    , m_state(state)
    , m_connection(connection)
    , m_steps(std::move(steps))
{}

void ReportSessionRunner::statusLine(const QByteArray &text)
{
    m_core.appendStatusLineLocked(text);
}

QByteArray ReportSessionRunner::ReportVersionText()
{
    return cp(VersionPrefix) + VersionText::versionsLabel() + cp(VersionSuffix);
}

void ReportSessionRunner::marker(const char *text)
{
    showMarker(m_core, text);
}

bool ReportSessionRunner::sendText(const QByteArray &text)
{
    return TCPUtils::SendFrame(m_connection.client(), m_connection.SequenceMode, m_connection.Sequence, text,
                               FrameType::TextFrame, m_core.clock());
}

// The alarm display of a failed connection; the caller holds the semaphore
// for its status text.
void ReportSessionRunner::connectionAlarm()
{
    const QByteArray text = cp(NoConnectionLabel) + m_core.config.ServerHost + ':' + m_core.config.ServerPort;
    m_core.onGui([text](StationView &v) {
        v.setLastError(text, Colours::Red);
        if (!v.alarmSignalled())
            v.signalAlarmWindow(kAlarmMarkerIntervalMs, false);
    });
}

void ReportSessionRunner::failed(Stage stage)
{
    close(stage, true);
    sleepMs(m_core.clock(), kFailurePauseMs);
}

void ReportSessionRunner::cutForAlarm(const TCPUtils::AlarmWaits &cut, Stage stage, bool cancel)
{
    showCut(m_core, cut);
    if (cancel)
        m_connection.cancelTwice();
    close(stage, false);
}

// The connection of a session that ends before its logout closed, and what
// the stage began undone; a failure of the link is counted.
void ReportSessionRunner::close(Stage stage, bool linkFailed)
{
    {
        SharedDataLock lock(m_core.semaphore);
        if (linkFailed)
            m_state.ReportFailed = true;
        if (stage != Stage::Connect)
            m_core.state.TransferBusy = false;
    }
    m_connection.transport.DisconnectServer();
    m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(true); });
    if (stage == Stage::Exchange)
        m_core.state.UpdateFileLocked = false;
}

// Whether the record and log files go with this report. Besides the
// interval, a tick counter that wrapped since the last report counts: its
// time then lies more than an interval ahead of the pass, and the pass
// reports because of it, so this report sends the files and takes the new
// time as its report time (otherwise every following pass would connect
// again without sending anything).
bool ReportSessionRunner::reportDueNow() const
{
    if (m_state.FirstPass || m_state.PendingAlarmFlags != 0 || m_core.state.ImmediateReport.load())
        return true;
    TickSeconds last = 0;
    {
        SharedDataLock lock(m_core.semaphore);
        last = m_core.state.LastReportTime;
    }
    return last + m_state.ReportInterval < m_state.PassTickTime || last > m_state.PassTickTime + m_state.ReportInterval;
}

bool ReportSessionRunner::run()
{
    StationState &s = m_core.state;
    const StationConfig &cfg = m_core.config;
    const QByteArray hostPort = cfg.ServerHost + ':' + cfg.ServerPort;

    // 1: connect.
    m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(false); });
    m_state.ReportFailed = false;
    m_connection.transport.DisconnectServer();
    QByteArray message;
    bool raised = false;
    try {
        m_connection.transport.PrepareConnection();
        raised = !m_connection.transport.ConnectServer(message);
    } catch (const std::exception &e) {
        raised = true;
        message = exceptionText(e);
    } catch (...) {
        raised = true;
    }
    m_state.ReportFailed = false;
    marker(MarkerConnect);
    if (raised || !m_connection.client() || !m_connection.client()->isConnected()) {
        {
            SharedDataLock lock(m_core.semaphore);
            m_core.appendStatusLine(cp(NoConnection) + hostPort);
            if (raised)
                m_core.appendStatusLine(cp(ConnectErrorPrefix) + message);
            connectionAlarm();
        }
        failed(Stage::Connect);
        return false;
    }

    // 2: login.
    if (!TCPUtils::SendFrame(m_connection.client(), m_connection.SequenceMode, m_connection.Sequence,
                             LoginFrame::literal(), FrameType::LoginFrame, m_core.clock())) {
        {
            SharedDataLock lock(m_core.semaphore);
            m_core.appendStatusLine(cp(NoConnection) + hostPort);
            connectionAlarm();
        }
        failed(Stage::Connect);
        return false;
    }
    marker(MarkerLogin);
    statusLine(cp(LoginOk));

    // 3: station identifier; from here the records wait for the transfer.
    sleepMs(m_core.clock(), kTextPauseMs);
    if (!sendText(cfg.StationId)) {
        statusLine(cp(StationIdFailed));
        failed(Stage::Transfer);
        return false;
    }
    marker(MarkerStation);
    {
        SharedDataLock lock(m_core.semaphore);
        m_core.appendStatusLine(cp(StationIdSent));
        s.TransferBusy = true;
    }

    // 4: version.
    sleepMs(m_core.clock(), kTextPauseMs);
    if (!sendText(ReportVersionText())) {
        statusLine(cp(VersionFailed));
        failed(Stage::Transfer);
        return false;
    }
    marker(MarkerVersion);
    statusLine(cp(LoginOk));

    // 5: report kind.
    sleepMs(m_core.clock(), kTextPauseMs);
    if (!sendText(cp(m_state.PendingAlarmFlags != 0 ? KindError : KindData))) {
        statusLine(cp(KindFailed));
        failed(Stage::Transfer);
        return false;
    }
    marker(MarkerKind);
    statusLine(cp(KindSent));

    // From here to the logout the transfers keep their pace, and an alarm
    // that waits for its error file cuts them.
    TCPUtils::TransferBound bound(m_core.clock(), m_steps.alarmWaiting);

    // 6, 7: error files.
    s.ReportHeartbeat = now(m_core.clock());
    if ((m_state.FirstPass || m_state.PendingAlarmFlags != 0) && !sendFiles(FileKind::Error, bound))
        return false;

    // 8 to 11: record and log files when the report is due.
    s.ReportHeartbeat = now(m_core.clock());
    if (reportDueNow()) {
        m_state.ReportDue = true;
        {
            SharedDataLock lock(m_core.semaphore);
            s.LastReportTime = m_core.clock().tickSeconds();
        }
        WriteLogLine(m_core, cp(LogNextReportTime));
        if (!sendFiles(FileKind::Measure, bound) || !sendFiles(FileKind::Log, bound))
            return false;
    }

    // 12: the transfers are over; the exchange with the server follows.
    s.ReportHeartbeat = now(m_core.clock());
    s.TransferBusy = false;
    bool exchanged = false;
    try {
        exchanged = m_steps.exchange(bound);
    } catch (const TCPUtils::AlarmWaits &e) {
        cutForAlarm(e, Stage::Exchange, true);
        return false;
    } catch (...) {
        exchanged = false;
    }
    if (!exchanged) {
        failed(Stage::Exchange);
        return false;
    }

    // 13: logout.
    s.UpdateFileLocked = false;
    sleepMs(m_core.clock(), kLogoutPauseMs);
    if (!sendText(cp(LogoutText))) {
        {
            SharedDataLock lock(m_core.semaphore);
            m_core.appendStatusLine(cp(LogoutFailed));
            m_core.appendStatusLine(cp(CentralConnectionError));
        }
        s.ImmediateReport = true;
        WriteLogLine(m_core, cp(LogLogoutFailed));
        failed(Stage::Exchange);
        return false;
    }
    marker(MarkerLogout);
    statusLine(cp(LogoutSent));

    // 14: closing.
    sleepMs(m_core.clock(), kLogoutPauseMs);
    WriteLogLine(m_core, cp(LogDisconnecting));
    s.UpdateFileLocked = false;
    m_connection.transport.DisconnectServer();
    m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(true); });
    WriteLogLine(m_core, cp(LogImmediateReset));
    s.ImmediateReport = false;
    m_state.LanErrorFiled = false;
    {
        SharedDataLock lock(m_core.semaphore);
        m_core.onGui([](StationView &v) { v.restoreWindowAfterReport(); });
    }

    // 15: an error file the server did not take: report again.
    if (m_state.ReportFailed) {
        m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(true); });
        sleepMs(m_core.clock(), kFailurePauseMs);
        return false;
    }

    // 16: a station update waits for the restart.
    if (m_steps.updateRestart())
        return true;

    // 17: the report is complete.
    m_core.onGui([](StationView &v) { v.setReportCommandsEnabled(true); });
    m_state.ReportDue = false;
    SharedDataLock lock(m_core.semaphore);
    s.ReportedAlarmFlags |= m_state.PendingAlarmFlags;
    m_state.PendingAlarmFlags = 0;
    WriteLogLine(m_core, cp(LogAcknowledgeReset));
    m_state.FirstPass = false;
    return false;
}

bool ReportSessionRunner::sendFiles(FileKind kind, TCPUtils::TransferBound &bound)
{
    const FileMarkers &markers = kind == FileKind::Error     ? kErrorMarkers
                                 : kind == FileKind::Measure ? kMeasureMarkers
                                                             : kLogMarkers;
    QByteArray stationId;
    {
        SharedDataLock lock(m_core.semaphore);
        stationId = m_core.config.StationId;
    }
    const QDir here = QDir::current();
    QStringList names;
    if (kind == FileKind::Error)
        names = StationFileNames::errorFiles(here, stationId);
    else if (kind == FileKind::Measure)
        names = StationFileNames::measureFiles(here, stationId);
    else
        names =
            here.entryList({QStringLiteral("*.log")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);

    bool first = true;
    for (const QString &name : names) {
        if (name.isEmpty())
            continue;
        if (first) {
            marker(markers.files);
            first = false;
        }
        const QByteArray serverName =
            kind == FileKind::Log
                ? cp(ServerLogName) + StationFileNames::plainId(stationId) + cp(ServerLogSuffix)
                : cp(ServerDataDir) + Text8::fromQString(name);
        try {
            const FileResult result = sendFile(kind, name, serverName, bound);
            if (kind == FileKind::Error && result == FileResult::NotAnnounced)
                m_state.ReportFailed = true; // the alarm did not reach the server: report again
        } catch (const TCPUtils::AlarmWaits &e) {
            cutForAlarm(e, Stage::Transfer, kind != FileKind::Error);
            return false;
        } catch (const TCPUtils::ServerTooSlow &e) {
            // The server kept the file beyond its bound: why, in the log too.
            showCut(m_core, e);
            endTransfer(kind);
            return false;
        } catch (...) {
            endTransfer(kind);
            return false;
        }
    }
    return true;
}

// An error while a file was sent ends the session. The file is closed by its
// own guard; the search is a list.
void ReportSessionRunner::endTransfer(FileKind kind)
{
    statusLine(cp(NoConnection) + m_core.config.ServerHost + ':' + m_core.config.ServerPort);
    if (kind != FileKind::Error)
        m_connection.cancelTwice();
    failed(Stage::Transfer);
}

// One file (FileUpload), deleted only when the server accepted the close
// frame after its whole content went out in accepted data frames. What was
// appended to the file after the last piece that was read stays in the file
// for the next report.
ReportSessionRunner::FileResult ReportSessionRunner::sendFile(FileKind kind, const QString &localName,
                                                              const QByteArray &serverName,
                                                              TCPUtils::TransferBound &bound)
{
    const FileMarkers &markers = kind == FileKind::Error     ? kErrorMarkers
                                 : kind == FileKind::Measure ? kMeasureMarkers
                                                             : kLogMarkers;
    const QByteArray shown = Text8::fromQString(localName);

    m_core.state.ReportHeartbeat = now(m_core.clock());
    sleepMs(m_core.clock(), kFilePauseMs);

    // A file that cannot be opened is not announced; it waits for the next
    // report.
    QFile file(localName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        statusLine(cp(OpenFailed) + shown);
        return FileResult::NotAnnounced;
    }
    const FileUpload::Result sent =
        FileUpload::send(m_core, m_connection, bound, file, serverName, shown, markers.frames);
    if (sent.end == FileUpload::End::NotAnnounced)
        return FileResult::NotAnnounced;
    if (sent.end != FileUpload::End::Closed || !sent.whole || !removeSentPart(kind, localName, sent.sent))
        return FileResult::Kept;
    statusLine(cp(FileDeleted) + shown + cp(FileDeletedEnd));
    return FileResult::Deleted;
}

// Deletes the first `sent` bytes of the file: the whole file when nothing
// was added to it, otherwise the file keeps only what was added after them.
// false when nothing could be removed (the file then goes again whole).
bool ReportSessionRunner::removeSentPart(FileKind kind, const QString &localName, qint64 sent)
{
    bool removed = false;
    auto cut = [&] {
        const qint64 size = QFileInfo(localName).size();
        if (size <= sent) {
            QFile::remove(localName);
            removed = true;
            return;
        }
        QFile in(localName);
        if (!in.open(QIODevice::ReadOnly) || !in.seek(sent))
            return;
        const QByteArray rest = in.readAll();
        in.close();
        if (rest.size() != size - sent)
            return;
        QSaveFile out(localName);
        if (!out.open(QIODevice::WriteOnly) || out.write(rest) != rest.size() || !out.flush())
            return;
        removed = out.commit();
    };
    // The station's log may get a line at any moment: no line is appended
    // between taking its size and cutting it.
    if (kind == FileKind::Log)
        m_core.log().holdWrites(cut);
    else
        cut();
    return removed;
}
