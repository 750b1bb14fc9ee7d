#pragma once

#include "reporting/TCPUtils.h"

#include <QByteArray>
#include <QString>

#include <functional>

class StationCore;
struct ReportConnection;
struct ReportThreadState;

// The configuration exchange with the server on the open report connection
// (upload of the identifier copy, download of the server's copy into
// r2arodire.cfg and the live settings) and the two update steps (viewer,
// station), after the log files and before the logout.
class ConfigExchange
{
public:
    ConfigExchange(StationCore &core, ReportThreadState &state, ReportConnection &connection);

    // The exchange and the update steps, their transfers within `bound` (the
    // report's); false when one of them failed after its own texts and
    // cancels: the session then takes the failure path. A transfer cut for a
    // waiting alarm (TCPUtils::AlarmWaits) is passed on, with r2arodire.cfg
    // put back as after any failed download; the session sends the cancels.
    bool run(TCPUtils::TransferBound &bound);

    // The received copy of the configuration, or what a failure or a kill
    // left of it, goes.
    void removeReceivedLeftover();

    // The longest line of a received configuration the station takes, line
    // end not counted. The longest real line is a host name with its port
    // (at most 259 bytes); this is the longest text a viewer can send, so a
    // configuration the station wrote itself always comes back.
    static constexpr int MaxConfigLineBytes = 4096;
    // The largest received configuration the station takes: the 35 lines it
    // reads, each at that bound and with its CR LF. A larger download is cut
    // at its length frame.
    static constexpr qint64 MaxConfigFileBytes = 35 * (MaxConfigLineBytes + 2);

private:
    enum class CopyResult { Copied, Empty, Failed };
    void uploadConfiguration(TCPUtils::TransferBound &bound);
    void downloadConfiguration(TCPUtils::TransferBound &bound);
    CopyResult copyReceivedConfiguration(const QString &received, const QByteArray &requestId);
    void restoreConfiguration(bool announce);
    void showDownloadedSettings();
    void viewerUpdate(TCPUtils::TransferBound &bound);
    void stationUpdate(TCPUtils::TransferBound &bound);
    // Whether the server accepted the request for a file.
    bool request(const QByteArray &serverName, TCPUtils::TransferBound &bound);
    // A step that raised: its texts and the two cancels; false for the caller.
    bool stepRaised(bool updateStep);
    qint64 receiveInto(TCPUtils::TransferBound &bound, const QByteArray &fileName,
                       const QString &localName = QString(),
                       qint64 maxBytes = TCPUtils::MaxReceivedFileBytes);
    // One part of the exchange: true when it ran through; a part that
    // raised ends with stepRaised(). A cut for a waiting alarm is passed on.
    bool step(bool updateStep, const std::function<void()> &what);
    void statusLine(const QByteArray &text);
    void marker(const char *text);

    StationCore &m_core;
    ReportThreadState &m_state;
    ReportConnection &m_connection;
};
