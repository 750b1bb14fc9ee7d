#include "reporting/TCPUtils.h"

#include "common/Clock.h"
#include "common/FrameChecksum.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "reporting/FrameSocket.h"
#include "reporting/ReportingTexts.h"
#include "station/LogFile.h"
#include "station/StationCore.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <optional>

namespace TCPUtils {

namespace {

const QByteArray kAnswerStart("\x01\x01\x01\x01", 4);
const QByteArray kAnswerHeader("\x01\x01\x01", 3);

void status(StationCore &thread, const QByteArray &text)
{
    thread.appendStatusLineLocked(text);
}

QByteArray sequencePrefix(qint32 sequence)
{
    QByteArray p("ww");
    p.append(static_cast<char>(sequence & 0xFF));
    return p;
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

qint32 NextSequence(qint32 sequence)
{
    return sequence == 255 ? 0 : sequence + 1;
}

QDateTime DosDateTimeFromBytes(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return {};
    const quint32 v = quint32(quint8(bytes[0])) | quint32(quint8(bytes[1])) << 8
                      | quint32(quint8(bytes[2])) << 16 | quint32(quint8(bytes[3])) << 24;
    const int seconds = int(v & 0x1F) * 2;
    const int minutes = int((v >> 5) & 0x3F);
    const int hours = int((v >> 11) & 0x1F);
    const int day = int((v >> 16) & 0x1F);
    const int month = int((v >> 21) & 0x0F);
    const int year = 1980 + int((v >> 25) & 0x7F);
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hours, minutes, seconds))
        return {};
    return QDateTime(QDate(year, month, day), QTime(hours, minutes, seconds));
}

QByteArray BuildFrame(const QByteArray &payload, quint8 frameType, quint8 sequenceMode, qint32 sequence)
{
    QByteArray frame;
    frame.reserve(payload.size() + 6);
    frame.append(static_cast<char>((payload.size() + 3) & 0xFF));
    frame.append('\0');
    frame.append(static_cast<char>(frameType));
    frame.append(payload);
    frame[1] = static_cast<char>(FrameChecksum(frame));
    if (sequenceMode)
        frame.prepend(sequencePrefix(sequence));
    return frame;
}

QByteArray BuildAnswer(char letter, quint8 sequenceMode, qint32 sequence)
{
    QByteArray answer = kAnswerStart;
    answer.append(letter);
    if (sequenceMode)
        answer.prepend(sequencePrefix(sequence));
    return answer;
}

int EffectiveFrameLength(quint8 lengthByte, quint8 typeByte)
{
    int length = lengthByte;
    if ((typeByte & 0x3F) == FrameType::DataFrame) {
        if (typeByte & 0x80)
            length += 250;
        if (typeByte & 0x40)
            length += 250;
    }
    return length;
}

bool SendFrame(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &payload,
               quint8 frameType, Clock &clock, TransferBound *transfer)
{
    const QByteArray bytes = BuildFrame(payload, frameType, sequenceMode, sequence);
    char answer = ' ';
    int sends = 0;
    for (;;) {
        if (!client)
            return false;
        if (transfer)
            transfer->check();
        if (!client->write(bytes))
            return false;
        ++sends;
        answer = ReadAnswer(client, sequenceMode, sequence);
        // A read that failed because the link broke is a socket error, not
        // a late answer: nothing is gained by pausing and writing again.
        if (answer == ' ' && !client->isConnected())
            return false;
        if (answer == 'N' || answer == ' ')
            clock.sleep(ResendPauseMs);
        if (answer == 'A' || answer == 'C' || sends >= MaxSends)
            break;
    }
    if (transfer && (answer == 'A' || answer == 'C'))
        transfer->frameAnswered(payload.size());
    if (answer != 'A')
        return false;
    sequence = NextSequence(sequence);
    return true;
}

char ReadAnswer(FrameSocket *client, quint8 sequenceMode, qint32 /*sequence*/)
{
    if (!client)
        return ' ';
    client->setReadTimeout(AnswerTimeoutMs);
    QByteArray answer;
    if (!client->read(sequenceMode ? 8 : 5, answer) || answer.isEmpty())
        return ' ';
    return upperAscii(answer.back());
}

bool SendAck(FrameSocket *client, quint8 sequenceMode, qint32 sequence)
{
    return client && client->write(BuildAnswer('A', sequenceMode, sequence));
}

bool SendCancel(FrameSocket *client, quint8 sequenceMode, qint32 sequence)
{
    return client && client->write(BuildAnswer('C', sequenceMode, sequence));
}

namespace {

// What one try to receive a frame came to.
enum class Try {
    Nothing,   // no frame began: nothing of one was taken from the input
    Broken,    // part of a frame was taken in and none delivered
    Repeated,  // a repetition, answered again and not delivered
    Delivered, // a frame in payload
};

Try receiveOne(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
               QByteArray &payload, quint8 &frameType, TransferBound *outer)
{
    payload.clear();
    if (!client)
        return Try::Nothing;
    sequenceMode = 0;
    if (!client->isConnected()) {
        status(thread, Text8::cp(ReportingTexts::Disconnected));
        return Try::Nothing;
    }

    const WaitBound frame(thread.clock(), FrameTimeoutMs);
    auto checkBounds = [&] {
        if (frame.passed())
            throwTooSlow(ReportingTexts::FrameTooSlow, frame.elapsedMs());
        if (outer)
            outer->check();
    };

    // A read that fails keeps in the input what part of its bytes arrived:
    // a header that is late by a moment is read whole by the next try.
    QByteArray header;
    int frameSequence = 0;
    for (;;) {
        client->setReadTimeout(HeaderTimeoutMs);
        if (!client->read(3, header))
            return Try::Nothing;
        frameSequence = 0;
        if (header[0] == 'w' && header[1] == 'w') {
            frameSequence = quint8(header[2]);
            client->setReadTimeout(PrefixedHeaderTimeoutMs);
            if (!client->read(3, header))
                return Try::Broken;
            sequenceMode = 1;
        }
        if (header != kAnswerHeader)
            break;
        // An answer where a frame was expected: skip its rest.
        client->setReadTimeout(AnswerRestTimeoutMs);
        QByteArray rest;
        client->read(2, rest);
        checkBounds(); // answers that never end are no frame either
    }

    const quint8 typeByte = quint8(header[2]);
    const int length = EffectiveFrameLength(quint8(header[0]), typeByte);
    frameType = typeByte & 0x3F;

    QByteArray body;
    if (length > 3) {
        if (!client->isConnected())
            return Try::Broken;
        client->setReadTimeout(ByteTimeoutMs);
        body.reserve(length - 3);
        int misses = 0;
        QByteArray one;
        while (body.size() < length - 3) {
            if (client->read(1, one)) {
                body.append(one);
                misses = 0;
            } else if (++misses >= MaxByteMisses) {
                return Try::Broken;
            }
            checkBounds();
        }
    }

    if (FrameChecksum(header + body) != 0)
        return Try::Broken; // dropped without an answer
    if (length < 3)
        return Try::Broken; // no frame at all
    if (length == 3)
        body = QByteArray(1, '\0');

    if (sequenceMode && sequence >= 0 && sequence == frameSequence) {
        SendAck(client, 1, frameSequence);
        return Try::Repeated;
    }
    sequence = frameSequence;
    payload = body;
    return Try::Delivered;
}

} // namespace

void ReceiveFrame(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                  QByteArray &payload, quint8 &frameType, TransferBound *outer)
{
    receiveOne(client, sequenceMode, sequence, thread, payload, frameType, outer);
}

void ReceiveFrameRetry(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                       QByteArray &payload, quint8 &frameType, TransferBound *outer)
{
    payload.clear();
    if (!client)
        return;
    auto checkOuter = [&] {
        if (outer)
            outer->check();
    };
    for (int tries = 1; tries <= ReceiveTries && payload.isEmpty(); ++tries) {
        checkOuter();
        try {
            const Try got = receiveOne(client, sequenceMode, sequence, thread, payload, frameType, outer);
            if (payload.isEmpty() && tries <= DrainingTries) {
                status(thread, Text8::cp(ReportingTexts::WaitingForData));
                thread.clock().sleep(DrainPauseMs);
                // Only the rest of a broken frame is drained. After a try
                // that found no frame, or a repetition it answered, what
                // came during the pause is the server's next frame, which a
                // drain would throw away unanswered.
                if (got != Try::Broken)
                    continue;
                client->setReadTimeout(ByteTimeoutMs);
                // Bounded too: a server that floods the link would keep
                // this going for ever.
                const WaitBound drain(thread.clock(), FrameTimeoutMs);
                QByteArray discard;
                while (client->read(1, discard)) {
                    if (drain.passed())
                        throwTooSlow(ReportingTexts::FrameTooSlow, drain.elapsedMs());
                    checkOuter();
                }
            }
        } catch (const TransferCut &) {
            throw;
        } catch (const std::exception &) {
            // one try lost
        }
    }
}

namespace {

// The local file of one reception. A failed reception removes a file it
// created and cuts an appended one back to its size before the reception.
class ReceivedFile
{
public:
    explicit ReceivedFile(const QString &path) : m_file(path) {}

    bool openAppend()
    {
        const bool existed = m_file.exists();
        const qint64 before = existed ? m_file.size() : 0;
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        if (existed)
            m_keepSize = before;
        return true;
    }
    bool openNew()
    {
        m_keepSize = -1;
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    // Nothing could be opened: an existing file was not touched.
    void leaveUntouched() { m_untouched = true; }

    bool write(const QByteArray &bytes)
    {
        return m_file.write(bytes) == bytes.size() && m_file.flush();
    }

    // Size in bytes, then closed; -1 when either failed.
    qint64 sizeAndClose()
    {
        m_file.unsetError();
        const qint64 size = m_file.size();
        m_file.close();
        return m_file.error() == QFileDevice::NoError ? size : -1;
    }

    void discard()
    {
        if (m_file.isOpen())
            m_file.close();
        if (m_untouched)
            return;
        if (m_keepSize >= 0)
            m_file.resize(m_keepSize);
        else
            m_file.remove();
    }

    void setModified(const QDateTime &when)
    {
        if (m_file.open(QIODevice::Append)) {
            m_file.setFileTime(when, QFileDevice::FileModificationTime);
            m_file.close();
        }
    }

    QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    qint64 m_keepSize = -1;
    bool m_untouched = false;
};

quint32 littleEndian32(const QByteArray &bytes)
{
    // A length frame shorter than four bytes counts its missing bytes as 0.
    quint32 v = 0;
    for (int i = 0; i < 4 && i < bytes.size(); ++i)
        v |= quint32(quint8(bytes[i])) << (8 * i);
    return v;
}

} // namespace

QString LocalFileName(const QByteArray &fileName)
{
    const QString name = Text8::toQString(fileName.mid(fileName.lastIndexOf('\\') + 1));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QString();
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return QString();
    }
    return name;
}

namespace {

struct Reception
{
    const QByteArray &fileName;
    bool setFileDate;
    qint64 maxBytes;
};

qint64 receiveFrames(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const Reception &what,
                     StationCore &thread, const HeartbeatSetter &heartbeat, ReceivedFile &file,
                     TransferBound &bound);

} // namespace

qint64 ReceiveFile(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &fileName,
                   bool setFileDate, StationCore &thread, const HeartbeatSetter &heartbeat,
                   const QString &localName, qint64 maxBytes, TransferBound *transfer)
{
    using namespace ReportingTexts;
    status(thread, Text8::cp(ReceiveFileStart) + fileName + Text8::cp(ReceiveFileStartEnd));

    const QString localPath =
        LocalFileName(localName.isEmpty() ? fileName : Text8::fromQString(localName));
    if (localPath.isEmpty()) {
        // Not a file of the working directory: refused as a file that
        // cannot be created, before anything is opened.
        status(thread, Text8::fromQString(qt_error_string(EINVAL)));
        if (client)
            SendCancel(client, sequenceMode, sequence);
        else
            status(thread, Text8::cp(SocketError2));
        return 0;
    }
    ReceivedFile file(localPath);

    const QByteArray upperName = Text8::upper(Text8::fromQString(localPath));
    if (upperName.endsWith("MS") || upperName.endsWith("R")) {
        if (!file.openAppend() && !file.openNew()) {
            file.leaveUntouched();
            if (client)
                SendCancel(client, sequenceMode, sequence);
            else
                status(thread, Text8::cp(SocketError1));
            file.discard();
            return 0;
        }
    } else if (!file.openNew()) {
        status(thread, Text8::fromQString(file.errorString()));
        file.discard();
        if (client)
            SendCancel(client, sequenceMode, sequence);
        else
            status(thread, Text8::cp(SocketError2));
        return 0;
    }

    if (!client) {
        file.discard();
        return 0;
    }
    SendAck(client, sequenceMode, sequence);
    std::optional<TransferBound> own;
    if (!transfer)
        transfer = &own.emplace(thread.clock());
    transfer->beginFile();
    try {
        return receiveFrames(client, sequenceMode, sequence, Reception{fileName, setFileDate, maxBytes},
                             thread, heartbeat, file, *transfer);
    } catch (...) {
        file.discard();
        throw;
    }
}

namespace {

// A file beyond its bound: the same text in the activity list and the log.
void fileTooLarge(StationCore &thread, const Reception &what, qint64 bytes)
{
    using namespace ReportingTexts;
    const QByteArray text = Text8::cp(FileTooLarge) + QByteArray::number(bytes) + Text8::cp(FileTooLargeLimit)
                            + QByteArray::number(what.maxBytes) + Text8::cp(FileTooLargeName) + what.fileName;
    status(thread, text);
    WriteLogLine(thread, text);
}

// The frames of one file after the station's ready answer, up to its close
// frame; 0 after a failure, with the file discarded.
qint64 receiveFrames(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const Reception &what,
                     StationCore &thread, const HeartbeatSetter &heartbeat, ReceivedFile &file,
                     TransferBound &bound)
{
    using namespace ReportingTexts;
    QByteArray payload;
    quint8 frameType = 0;
    qint64 expected = 0;
    qint64 count = 0;

    // A file that grows past its bound is cut at the frame that does it.
    auto tooLarge = [&](qint64 bytes) {
        fileTooLarge(thread, what, bytes);
        SendCancel(client, sequenceMode, sequence);
        file.discard();
        return qint64(0);
    };

    ReceiveFrameRetry(client, sequenceMode, sequence, thread, payload, frameType, &bound);
    if (payload.isEmpty()) {
        file.discard();
        return 0;
    }
    // Each frame earns of the pace what it moved: see TransferBound.
    if (frameType == FrameType::FileLengthFrame) {
        expected = littleEndian32(payload);
        if (expected > what.maxBytes)
            return tooLarge(expected);
        bound.fileFrameReceived();
    } else if (frameType == FrameType::DataFrame) {
        if (payload.size() > what.maxBytes)
            return tooLarge(payload.size());
        if (!file.write(payload)) {
            SendCancel(client, sequenceMode, sequence);
            file.discard();
            return 0;
        }
        count += payload.size();
        bound.pieceReceived(payload.size());
    }
    SendAck(client, sequenceMode, sequence);
    status(thread, Text8::cp(DataFollows));

    int frameCounter = 0;
    bool writeFailed = false;
    for (;;) {
        if (++frameCounter > 100) {
            frameCounter = 0;
            if (heartbeat)
                heartbeat(LocaleFormat::dateTime(thread.clock().localDateTime()));
        }
        ReceiveFrameRetry(client, sequenceMode, sequence, thread, payload, frameType, &bound);
        if (payload.isEmpty()) {
            file.discard();
            return 0;
        }
        if (writeFailed) {
            SendCancel(client, sequenceMode, sequence);
            file.discard();
            return 0;
        }
        if (frameType == FrameType::DataFrame && count + payload.size() > what.maxBytes)
            return tooLarge(count + payload.size());
        // The close frame is answered once the file is known to be whole:
        // a file the station throws away is cancelled, so the server never
        // counts it as delivered.
        if (frameType != FrameType::CloseFrame)
            SendAck(client, sequenceMode, sequence);

        if (frameType == FrameType::DataFrame) {
            bound.pieceReceived(payload.size());
            status(thread, Text8::cp(BlockReceived) + QByteArray::number(payload.size())
                               + Text8::cp(BlockReceivedEnd));
            if (file.write(payload))
                count += payload.size();
            else
                writeFailed = true;
        } else if (frameType == FrameType::CloseFrame) {
            bound.fileFrameReceived();
            status(thread, Text8::cp(CloseFrameReceived));
            const qint64 size = file.sizeAndClose();
            if (size < 0) {
                SendCancel(client, sequenceMode, sequence);
                file.discard();
                return 0;
            }
            if (size != expected && count != expected) {
                SendCancel(client, sequenceMode, sequence);
                status(thread, Text8::cp(FileLengthError) + QByteArray::number(count)
                                   + Text8::cp(FileLengthErrorSoll) + QByteArray::number(expected)
                                   + Text8::cp(FileLengthErrorIst) + QByteArray::number(size));
                file.discard();
                return 0;
            }
            SendAck(client, sequenceMode, sequence);
            SendAck(client, sequenceMode, sequence);
            status(thread, Text8::cp(FileLengthOk));
            if (what.setFileDate) {
                const QDateTime when = DosDateTimeFromBytes(payload);
                if (when.isValid())
                    file.setModified(when);
            }
            break;
        }
    }
    return count;
}

} // namespace

} // namespace TCPUtils
