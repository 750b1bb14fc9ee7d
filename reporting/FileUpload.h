#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class QFile;
class StationCore;
struct ReportConnection;
namespace TCPUtils {
class TransferBound;
}

// One file the station sends on the report connection: an open frame with
// its server-side name, its content in data frames of up to 250 bytes, an
// empty close frame, all within the report's transfer bound. The record, log
// and error files of a report and the configuration copy all go this way.
namespace FileUpload {

// Step markers shown in the main window while the file goes; none where null.
struct Markers
{
    const char *open = nullptr;   // the open frame was accepted
    const char *data = nullptr;   // the data frames begin
    const char *before = nullptr; // before each data frame
    const char *after = nullptr;  // after each data frame
    const char *close = nullptr;  // the close frame was accepted
};

enum class End {
    NotAnnounced, // the open frame was not accepted: nothing more was sent
    CloseRefused, // the close frame was not accepted: the server holds nothing
    Closed,       // the server accepted the close frame
};

struct Result
{
    End end = End::NotAnnounced;
    // Every piece read went out and was accepted, and the file could be read
    // to its end.
    bool whole = false;
    // Bytes from the file's start that went out in accepted data frames (the
    // pieces skipped included).
    qint64 sent = 0;
};

// Sends `file` (open for reading at its start) under `serverName`; `shown`
// is the name in the status texts. A piece for which `skip` is true is read
// but not sent. A frame that is not accepted on a connection that is gone
// throws std::runtime_error: the link broke, and the caller ends the
// session. What the transfer bound throws is passed on.
Result send(StationCore &core, ReportConnection &connection, TCPUtils::TransferBound &bound, QFile &file,
            const QByteArray &serverName, const QByteArray &shown, const Markers &markers,
            const std::function<bool(const QByteArray &piece)> &skip = {});

} // namespace FileUpload
