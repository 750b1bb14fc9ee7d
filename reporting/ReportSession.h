#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class StationCore;
struct ReportConnection;
struct ReportThreadState;

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
    // (false sends the session down the failure path) and the update restart
    // after a completed report (true when it ran).
    struct Steps
    {
        std::function<bool()> exchange;
        std::function<bool()> updateRestart;
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
    bool sendText(const QByteArray &text);
    void marker(const char *text);
    void connectionAlarm();
    bool reportDueNow() const;
    // Sends the files of one kind; false when an error ended the session
    // (the failure path has run).
    bool sendFiles(FileKind kind);
    void endTransfer(FileKind kind);
    FileResult sendFile(FileKind kind, const QString &localName, const QByteArray &serverName);
    bool removeSentPart(FileKind kind, const QString &localName, qint64 sent);

    StationCore &m_core;
    ReportThreadState &m_state;
    ReportConnection &m_connection;
    Steps m_steps;
    // The fixed allowance of the file transfers (TCPUtils::TransferBound) is
    // one for the whole report: what one file takes of it beyond its size's
    // time is gone for the files after it, so a slow server holds a report
    // of many files no longer than their sizes take plus that allowance once.
    qint64 m_allowanceLeftMs = 0;
};
