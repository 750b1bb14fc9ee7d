#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class StationCore;
struct ReportConnection;
struct ReportThreadState;
namespace TCPUtils {
class AlarmWaits;
class TransferBound;
}

// The report connection of one pass, after "---->Verbindungsaufbau":
// connect, login, identifier, version, report kind, error files, record
// files, log files, the exchange with the server, logout, closing.
class ReportSessionRunner
{
public:
    // Where a report failed; the failure path undoes what that part began.
    enum class Stage {
        Connect,  // connect and login
        Transfer, // from the station identifier to the last log file
        Exchange, // configuration exchange, update steps and logout
    };

    // The steps the owner runs for the session: the configuration exchange
    // within the report's transfer bound (false sends the session down the
    // failure path), the update restart after a completed report (true when
    // it ran), and the look at the alarms: whether one waits for its error
    // file (such an alarm cuts a long transfer, TCPUtils::AlarmGraceMs).
    struct Steps
    {
        std::function<bool(TCPUtils::TransferBound &)> exchange;
        std::function<bool()> updateRestart;
        std::function<bool()> alarmWaiting;
    };

    ReportSessionRunner(StationCore &core, ReportThreadState &state, ReportConnection &connection,
                        Steps steps);

    // One session; true when the update restart ran and the thread has to end.
    bool run();
    // The common failure path of the report connection.
    void failed(Stage stage = Stage::Connect);

    // The version text sent after the station identifier.
    static QByteArray ReportVersionText();

private:
    enum class FileKind { Error, Measure, Log };
    enum class FileResult { Deleted, Kept, NotAnnounced };
    void statusLine(const QByteArray &text);
    // The end of a session whose transfer was cut for a waiting alarm: its
    // texts, the two cancels where the stage sends them, the connection
    // closed, and the next pass at once, without the failure path's pause
    // and without counting it as a failure of the link.
    void cutForAlarm(const TCPUtils::AlarmWaits &cut, Stage stage, bool cancel);
    void close(Stage stage, bool linkFailed);
    bool sendText(const QByteArray &text);
    void marker(const char *text);
    void connectionAlarm();
    bool reportDueNow() const;
    // Sends the files of one kind; false when an error ended the session
    // (the failure path has run).
    bool sendFiles(FileKind kind, TCPUtils::TransferBound &bound);
    void endTransfer(FileKind kind);
    FileResult sendFile(FileKind kind, const QString &localName, const QByteArray &serverName,
                        TCPUtils::TransferBound &bound);
    bool removeSentPart(FileKind kind, const QString &localName, qint64 sent);

    StationCore &m_core;
    ReportThreadState &m_state;
    ReportConnection &m_connection;
    Steps m_steps;
};
