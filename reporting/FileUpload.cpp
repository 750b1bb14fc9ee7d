#include "reporting/FileUpload.h"

#include "reporting/FrameSocket.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "station/StationCore.h"

#include <QFile>

#include <stdexcept>

namespace FileUpload {

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

constexpr int kPieceSize = TCPUtils::TransferPieceBytes;
constexpr int kPiecesPerHeartbeat = 100;

} // namespace

Result send(StationCore &core, ReportConnection &connection, TCPUtils::TransferBound &bound, QFile &file,
            const QByteArray &serverName, const QByteArray &shown, const Markers &markers,
            const std::function<bool(const QByteArray &piece)> &skip)
{
    FrameSocket *client = connection.client();
    auto marker = [&core](const char *text) {
        if (text)
            showMarker(core, text);
    };
    auto status = [&core](const QByteArray &text) { core.appendStatusLineLocked(text); };
    // A frame the server did not take on a connection that is gone: the
    // link broke, and offering the rest to nobody gains nothing.
    auto frame = [&](const QByteArray &payload, quint8 type) {
        if (TCPUtils::SendFrame(client, connection.SequenceMode, connection.Sequence, payload, type,
                                core.clock(), &bound))
            return true;
        if (!client || !client->isConnected())
            throw std::runtime_error("connection to the server lost");
        return false;
    };

    Result result;
    bound.beginFile();
    if (!frame(serverName, FrameType::OpenFrame)) {
        status(cp(OpenFailed) + shown);
        return result;
    }
    marker(markers.open);
    status(cp(OpenSent) + shown);

    marker(markers.data);
    bool whole = true;
    int pieces = 0;
    char buffer[kPieceSize];
    for (;;) {
        if (++pieces > kPiecesPerHeartbeat) {
            pieces = 0;
            core.state.ReportHeartbeat = now(core.clock());
        }
        const qint64 n = file.read(buffer, kPieceSize);
        if (n < 0) {
            whole = false; // a read error: the file stays as it is
            break;
        }
        if (n == 0)
            break;
        const QByteArray piece(buffer, int(n));
        if (skip && skip(piece)) {
            result.sent += n;
            continue;
        }
        marker(markers.before);
        const bool accepted = frame(piece, FrameType::DataFrame);
        marker(markers.after);
        if (!accepted) {
            whole = false;
            break;
        }
        result.sent += n;
    }
    file.close();

    if (!frame(QByteArray(), FrameType::CloseFrame)) {
        status(cp(CloseFailed));
        result.end = End::CloseRefused;
        return result;
    }
    marker(markers.close);
    status(cp(CloseOk));
    result.end = End::Closed;
    result.whole = whole;
    return result;
}

} // namespace FileUpload
