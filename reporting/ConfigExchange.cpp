// The configuration exchange with the server (upload of the identifier
// copy, download of the server's copy into r2arodire.cfg and the live
// settings) and the two update steps.

#include "reporting/ConfigExchange.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "reporting/FileUpload.h"
#include "reporting/FrameSocket.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportThreadState.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "station/ConfigTexts.h"
#include "station/ConfigValueChecks.h"
#include "station/LimitLabels.h"
#include "station/LogFile.h"
#include "station/StationConfigFile.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <exception>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

const QString kConfigFile = QString::fromLatin1(ConfigTexts::ConfigFileName);
const QString kSaveFile = QString::fromLatin1(ConfigTexts::ConfigSaveName);
const QString kReceivedFile = QString::fromLatin1(ReportingTexts::ConfigReceivedFile);

// Lines of a received copy that the station reads: 17 pairs and the update
// request.
constexpr int kReadLines = 35;
static_assert(ConfigExchange::MaxConfigFileBytes == kReadLines * (ConfigExchange::MaxConfigLineBytes + 2));

// A received program is executable once it is whole and in its place.
void makeExecutable(const QString &file)
{
    QFile f(file);
    const QFileDevice::Permissions p = f.permissions();
    f.setPermissions(p | QFileDevice::ExeOwner | QFileDevice::ExeUser
                     | (p & QFileDevice::ReadGroup ? QFileDevice::ExeGroup : QFileDevice::Permissions())
                     | (p & QFileDevice::ReadOther ? QFileDevice::ExeOther : QFileDevice::Permissions()));
}

// The number (from 1) of the first line among those the station reads that
// is longer than MaxConfigLineBytes without its line end; 0 when none is.
// Reads no more than one line's bound at a time.
int firstLineTooLong(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return 0; // the copy reports it
    for (int number = 1; number <= kReadLines && !in.atEnd(); ++number) {
        QByteArray line = in.readLine(ConfigExchange::MaxConfigLineBytes + 3);
        if (!line.endsWith('\n') && !in.atEnd())
            return number; // the line goes on beyond the bound
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > ConfigExchange::MaxConfigLineBytes)
            return number;
    }
    return 0;
}

} // namespace

ConfigExchange::ConfigExchange(StationCore &core, ReportThreadState &state, ReportConnection &connection)
    : m_core(core)
    , m_state(state)
    , m_connection(connection)
{}

void ConfigExchange::statusLine(const QByteArray &text)
{
    m_core.appendStatusLineLocked(text);
}

void ConfigExchange::marker(const char *text)
{
    showMarker(m_core, text);
}

qint64 ConfigExchange::receiveInto(TCPUtils::TransferBound &bound, const QByteArray &fileName,
                                   const QString &localName, qint64 maxBytes)
{
    StationState &s = m_core.state;
    return TCPUtils::ReceiveFile(
        m_connection.client(), m_connection.SequenceMode, m_connection.Sequence, fileName, false, m_core,
        [&s](const QByteArray &t) { s.ReportHeartbeat = t; }, localName, maxBytes, &bound);
}

bool ConfigExchange::request(const QByteArray &serverName, TCPUtils::TransferBound &bound)
{
    return TCPUtils::SendFrame(m_connection.client(), m_connection.SequenceMode, m_connection.Sequence,
                               serverName, FrameType::FileRequestFrame, m_core.clock(), &bound);
}

void ConfigExchange::removeReceivedLeftover()
{
    QFile::remove(kReceivedFile);
}

bool ConfigExchange::stepRaised(bool updateStep)
{
    const QByteArray hostPort = m_core.config.ServerHost + ':' + m_core.config.ServerPort;
    try {
        statusLine(updateStep ? cp(UpdateNoConnection) + hostPort + cp(UpdateNoConnectionEnd)
                              : cp(NoConnection) + hostPort);
    } catch (...) {
    }
    m_connection.cancelTwice();
    return false;
}

bool ConfigExchange::step(bool updateStep, const std::function<void()> &what)
{
    try {
        what();
        return true;
    } catch (const TCPUtils::AlarmWaits &) {
        throw; // the session ends the connection for the alarm
    } catch (const TCPUtils::ServerTooSlow &e) {
        try {
            showCut(m_core, e);
        } catch (...) {
        }
    } catch (...) {
    }
    return stepRaised(updateStep);
}

bool ConfigExchange::run(TCPUtils::TransferBound &bound)
{
    return step(false,
                [&] {
                    uploadConfiguration(bound);
                    downloadConfiguration(bound);
                })
           && step(true, [&] {
                  viewerUpdate(bound);
                  stationUpdate(bound);
              });
}

// --- Upload ----------------------------------------------------------------

void ConfigExchange::uploadConfiguration(TCPUtils::TransferBound &bound)
{
    StationState &s = m_core.state;
    s.ReportHeartbeat = now(m_core.clock());
    s.TransferBusy = false;
    s.UpdateFileLocked = true;

    QByteArray id;
    QString localName;
    {
        SharedDataLock lock(m_core.semaphore);
        id = Text8::trimmed(m_core.config.StationId);
        localName = StationIdCopyFileName(m_core.config.StationId);
    }
    if (localName.isEmpty())
        return;
    QFile file(localName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.size() < 3)
        return;

    const QByteArray shown = id + cp(ConfigSuffix);
    statusLine(cp(ConfigSend) + id + cp(ConfigSendEnd));
    // The server's update request is not sent back.
    const auto updateRequest = [](const QByteArray &piece) {
        return Text8::upper(Text8::trimmed(piece)) == UpdateWord;
    };
    FileUpload::Markers markers;
    markers.open = MarkerConfigOpen;
    markers.data = MarkerConfigData;
    const FileUpload::Result sent = FileUpload::send(
        m_core, m_connection, bound, file, cp(ServerConfigDir) + shown, shown, markers, updateRequest);
    // Deleted only when the server holds all of it; otherwise it goes again
    // with the next report.
    if (sent.end != FileUpload::End::Closed || !sent.whole)
        return;
    QFile::remove(QDir::current().filePath(localName));
    statusLine(cp(OldConfigDeleted) + currentDirectory() + '\\' + shown + cp(OldConfigDeletedEnd));
}

// --- Download --------------------------------------------------------------

void ConfigExchange::downloadConfiguration(TCPUtils::TransferBound &bound)
{
    StationState &s = m_core.state;
    s.ReportHeartbeat = now(m_core.clock());
    QFile::remove(kSaveFile);
    statusLine(cp(SaveDeleted));
    QFile::rename(kConfigFile, kSaveFile);
    statusLine(cp(ConfigToSave));

    QByteArray id;
    {
        SharedDataLock lock(m_core.semaphore);
        id = StationFileNames::plainId(Text8::trimmed(m_core.config.StationId));
    }
    const QByteArray serverName = cp(ServerConfigDir) + id + cp(ConfigSuffix);
    statusLine(cp(FileRequestSent) + serverName + cp(FileRequestSentEnd));

    // The server's copy comes under a name of its own: the identifier copy
    // may be an upload the server has not taken yet, and a copy cut off by
    // a failure or a kill is never taken for anything.
    removeReceivedLeftover();
    bool restore = true;
    try {
        if (!request(serverName, bound)) {
            marker(MarkerConfigRead1);
            statusLine(cp(NoConfigDownloaded));
        } else if (receiveInto(bound, serverName, kReceivedFile, MaxConfigFileBytes) < 1) {
            removeReceivedLeftover(); // an empty transfer leaves an empty file
        } else if (const int tooLong = firstLineTooLong(kReceivedFile)) {
            // No configuration line is that long: the copy is not the
            // station's configuration, none of it is taken.
            removeReceivedLeftover();
            const QByteArray text = cp(ConfigLineTooLong) + QByteArray::number(tooLong) + cp(ConfigLineTooLongEnd);
            statusLine(text);
            WriteLogLine(m_core, text);
            statusLine(cp(ConfigRestored));
            restoreConfiguration(false);
            restore = false;
        } else {
            statusLine(cp(ConfigDownloaded) + serverName + cp(ConfigDownloadedEnd));
            const CopyResult copied = copyReceivedConfiguration(kReceivedFile, id);
            if (copied != CopyResult::Empty) {
                restore = false;
                showDownloadedSettings();
                statusLine(cp(ConfigActivated));
            }
        }
    } catch (...) {
        // The session ends; r2arodire.cfg goes back as after any download
        // that brought nothing.
        removeReceivedLeftover();
        try {
            restoreConfiguration(true);
        } catch (...) {
        }
        s.UpdateFileLocked = false;
        throw;
    }
    if (restore)
        restoreConfiguration(true);
    s.UpdateFileLocked = false;
}

// Puts r2arodire.save back in the place of r2arodire.cfg. An r2arodire.cfg
// that is there now was written while the download ran (a viewer's
// configuration, saved and taken into the live settings meanwhile), or it
// is the previous one, which could not be renamed: either way it stays, and
// r2arodire.save stays beside it as after a download that was taken.
// Without a saved file there is nothing to put back. The files are looked
// at and moved under the semaphore, which a viewer's save holds throughout,
// so no save comes between the look and the move.
void ConfigExchange::restoreConfiguration(bool announce)
{
    if (announce)
        statusLine(cp(ConfigKept));
    {
        SharedDataLock lock(m_core.semaphore);
        if (!QFileInfo::exists(kConfigFile) && QFileInfo(kSaveFile).isFile())
            QFile::rename(kSaveFile, kConfigFile);
    }
    statusLine(cp(ConfigFileDeleted));
    statusLine(cp(SaveToConfig));
}

// The received copy, pair by pair, into the live settings and into a new
// r2arodire.cfg, all under the semaphore. The new file is written whole or
// not at all (QSaveFile), so a failure half-way never leaves a torn
// r2arodire.cfg for the next start.
ConfigExchange::CopyResult ConfigExchange::copyReceivedConfiguration(const QString &received,
                                                                     const QByteArray &requestId)
{
    StationConfig &cfg = m_core.config;
    SharedDataLock lock(m_core.semaphore);
    QFile in(received);
    QSaveFile out(kConfigFile);
    QByteArray error;

    auto fail = [&](const QString &message) {
        error = Text8::fromQString(message);
        return false;
    };
    auto write = [&](const QByteArray &line) {
        const QByteArray bytes = line + ConfigFormat::LineEnd;
        return out.write(bytes) == bytes.size() || fail(out.errorString());
    };

    bool empty = false;
    const bool copied = [&] {
        if (received.isEmpty() || !in.open(QIODevice::ReadOnly))
            return fail(received.isEmpty() ? QStringLiteral("no file") : in.errorString());
        ConfigFormat::LineReader reader(in);
        auto next = [&](QByteArray &line) {
            const std::optional<QByteArray> l = reader.next();
            if (!l)
                return fail(in.errorString());
            line = *l;
            return true;
        };
        QByteArray key;
        if (!next(key))
            return false;
        if (key == QByteArray(1, '\0')) {
            empty = true; // the server holds no configuration for this station
            return false;
        }
        if (!out.open(QIODevice::WriteOnly))
            return fail(out.errorString());
        for (int pair = 0; pair < 17; ++pair) {
            QByteArray value;
            // A line that would break the file (or an identifier that would
            // leave the folder) is not taken: the setting in force stays and
            // goes into the file, and the log says why.
            const QByteArray ownKey = ConfigFormat::StationKeys[pair];
            if ((pair > 0 && !next(key)) ||
                !write(ConfigValueChecks::fitsOneLine(key) ? Text8::trimmed(key) : ownKey) || !next(value))
                return false;
            if (const char *why = ConfigValueChecks::receivedValueRefusal(pair, value)) {
                WriteLogLine(m_core,
                             cp(DownloadValueRefused) + ownKey + cp(DownloadValueRefusedEnd) + cp(why));
                if (!write(StationConfigFileLines(cfg).at(2 * pair + 1)))
                    return false;
                continue;
            }
            QByteArray line = Text8::trimmed(value);
            switch (pair) {
            case 0:
                cfg.TempMin = value;
                break;
            case 1:
                cfg.TempMax = value;
                break;
            case 2:
                cfg.RHMin = value;
                break;
            case 3:
                cfg.RHMax = value;
                break;
            case 4:
                cfg.TPMin = value;
                break;
            case 5:
                cfg.TPMax = value;
                break;
            case 6:
                cfg.TTPMin = value;
                break;
            case 7:
                cfg.TTPMax = value;
                break;
            case 8:
            case 9:
            case 10:
            case 11: {
                bool *flags[4] = {&cfg.CheckRX, &cfg.CheckRI, &cfg.CheckDC, &cfg.CheckCTS};
                if (const std::optional<bool> b = ConfigFormat::toBoolean(value))
                    *flags[pair - 8] = *b;
                else if (pair == 9)
                    cfg.CheckRI = false;
                break;
            }
            case 12: {
                // The file keeps what the live setting holds, so that the
                // next start reports under the same identifier.
                const QByteArray id = Text8::trimmed(value);
                cfg.ManualStationId = id.size() == 8 && id.startsWith('$');
                cfg.StationId = cfg.ManualStationId ? id.mid(1) : id;
                line = id;
                break;
            }
            case 13: {
                QByteArray host = value;
                QByteArray port = "2000";
                const qsizetype colon = value.indexOf(':');
                if (!value.isEmpty() && colon >= 0) {
                    host = value.left(colon);
                    port = value.mid(colon + 1);
                }
                cfg.ServerHost = host;
                if (ConfigFormat::toInteger(port))
                    cfg.ServerPort = port;
                line = Text8::trimmed(host) + ':' + port;
                break;
            }
            case 14:
                cfg.ComPort = value;
                break;
            case 15:
                cfg.AlarmInterval = value;
                break;
            case 16:
                cfg.CpuMaxTempDistance = value;
                break;
            }
            if (!write(line))
                return false;
        }
        m_state.UpdateRequested = false;
        QByteArray request;
        if (!next(request))
            return false;
        if (Text8::upper(Text8::trimmed(request)) == UpdateWord) {
            m_core.appendStatusLine(cp(UpdateRequestedText));
            m_state.UpdateRequested = true;
        }
        in.close();
        // Flushed first: a commit does not see a failed write of the last
        // buffered bytes and would put a cut file in place.
        if (!out.flush())
            return fail(out.errorString());
        return out.commit() || fail(out.errorString());
    }();

    in.close();
    // The received copy goes in every case: left behind it would be taken
    // for a configuration of this station and uploaded at the next report.
    // It is never r2arodire.cfg itself.
    auto dropReceived = [&] {
        if (!received.isEmpty() && received.compare(kConfigFile, Qt::CaseInsensitive) != 0)
            QFile::remove(received);
        m_core.appendStatusLine(cp(ReceivedCopyDeleted) + requestId + cp(ReceivedCopyDeletedEnd));
    };
    if (copied) {
        dropReceived();
        m_core.appendStatusLine(cp(ConfigTaken));
        return CopyResult::Copied;
    }
    if (out.isOpen())
        out.cancelWriting();
    if (empty) {
        lock.unlock();
        QFile::remove(received);
        return CopyResult::Empty;
    }
    m_core.appendStatusLine(error);
    m_core.appendStatusLine(cp(ConfigRestored));
    lock.unlock();
    restoreConfiguration(false);
    QFile::remove(received);
    return CopyResult::Failed;
}

// The labels and the contact watch boxes show the new settings; a viewer's
// next measurement message carries them.
void ConfigExchange::showDownloadedSettings()
{
    StationConfig cfg;
    {
        SharedDataLock lock(m_core.semaphore);
        cfg = m_core.config;
        m_core.mirror.CheckRI = cfg.CheckRI;
        m_core.mirror.CheckDC = cfg.CheckDC;
    }
    m_core.onGui([cfg](StationView &v) {
        FillLimitLabels(cfg, v);
        v.setContactWatch(cfg.CheckRI, cfg.CheckDC);
    });
}

// --- Updates ---------------------------------------------------------------

void ConfigExchange::viewerUpdate(TCPUtils::TransferBound &bound)
{
    StationState &s = m_core.state;
    s.ReportHeartbeat = now(m_core.clock());
    m_core.mirror.UpdatePending = false;
    const QString upd = name(ViewerUpdateFile);
    QFile::remove(upd);
    statusLine(cp(ViewerUpdateDeleted));

    marker(MarkerUpdate1);
    const bool accepted = m_state.UpdateRequested && request(cp(ServerViewerUpdate), bound);
    statusLine(cp(accepted ? ViewerUpdateLoading : ViewerUpdateIgnored));
    marker(MarkerUpdate1Read);

    if (accepted && receiveInto(bound, cp(ViewerUpdateFile)) >= 1) {
        const QString program = name(ViewerProgram);
        try {
            QFile::remove(name(ViewerProgramOld));
            QFile::rename(program, name(ViewerProgramOld));
            statusLine(cp(ViewerProgramDeleted));
        } catch (...) {
        }
        if (QFile::rename(upd, program))
            makeExecutable(program);
        statusLine(cp(ViewerUpdateRenamed));
    } else {
        QFile::remove(upd);
        statusLine(cp(ViewerUpdateDeleted));
    }
    s.UpdateFileLocked = false;
}

void ConfigExchange::stationUpdate(TCPUtils::TransferBound &bound)
{
    StationState &s = m_core.state;
    s.ReportHeartbeat = now(m_core.clock());
    m_core.mirror.UpdatePending = false;
    const QString upd = name(StationUpdateReceived);
    QFile::remove(upd);
    statusLine(cp(StationUpdateDeleted));

    marker(MarkerUpdate2);
    const bool accepted = m_state.UpdateRequested && request(cp(ServerStationUpdate), bound);
    statusLine(cp(accepted ? StationUpdateLoading : StationUpdateIgnored));
    marker(MarkerUpdate2Read);

    if (accepted && receiveInto(bound, cp(StationUpdateReceived)) >= 1) {
        const QString waiting = name(StationUpdateFile);
        try {
            QFile::remove(waiting);
            statusLine(cp(StationWaitingDeleted));
        } catch (...) {
        }
        // Only an update that is whole and in its place makes the restart:
        // ReceiveFile keeps nothing of a broken or short transfer, and an
        // update that could not take its name would leave an older one (or
        // none) to the restart.
        const bool placed = QFile::rename(upd, waiting);
        statusLine(cp(StationUpdateRenamed));
        if (placed) {
            makeExecutable(waiting);
            m_core.mirror.UpdatePending = true;
        } else {
            QFile::remove(upd);
        }
    } else {
        QFile::remove(upd);
        statusLine(cp(StationUpdateDropped));
    }
    s.UpdateFileLocked = false;
}
