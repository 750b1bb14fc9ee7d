// Frames from the server as ReceiveFrameRetry and ReceiveFile take them, fed
// through a scripted socket that answers at once (the manual clock skips
// every pause). A reception never writes beside the working directory,
// leaves no partial file and never reports more bytes than arrived. A file
// announced or grown past its bound leaves one line in the station log and
// nothing else.
//
// Input: a flag byte, a start sequence byte, for ReceiveFile a name length
// byte and the server-side file name, then the bytes the server sends.
//   flag bit 0: ReceiveFile (else ReceiveFrameRetry)
//   flag bit 1: sequence mode at the start
//   flag bit 2: the connection stays up once the input is used up
//   flag bit 3: the set-file-date flag
//   flag bit 4: start sequence -1 (else the sequence byte)
//   flag bit 5: the local file exists beforehand

#include "FuzzSupport.h"

#include "common/Text8.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "station/LogFile.h"
#include "station/StationCore.h"
#include "support/RecordingView.h"
#include "support/ScriptedSocket.h"
#include "support/TestPlatform.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray kOld("old\r\n");

QByteArray frame(quint8 type, const QByteArray &payload)
{
    return TCPUtils::BuildFrame(payload, type, 0, 0);
}

QByteArray fileInput(quint8 flags, const QByteArray &name, const QByteArray &server)
{
    return QByteArray(1, char(flags)) + '\0' + char(name.size()) + name + server;
}

QByteArray transfer(const QByteArray &content)
{
    QByteArray length(4, '\0');
    for (int i = 0; i < 4; ++i)
        length[i] = char((content.size() >> (8 * i)) & 0xFF);
    return frame(FrameType::FileLengthFrame, length) + frame(FrameType::DataFrame, content) +
           frame(FrameType::CloseFrame, QByteArray("\x21\x3a\xa6\x3c", 4));
}

void seeds()
{
    using namespace TCPUtils;
    Fuzz::writeSeed("frame-plain", QByteArray(2, '\0') + frame(FrameType::DataFrame, "payload"));
    Fuzz::writeSeed("frame-prefixed",
                    QByteArray("\x02\x05", 2) + "ww\x06" + frame(FrameType::TextFrame, "text"));
    Fuzz::writeSeed("frame-answer-first", QByteArray(2, '\0') + BuildAnswer('A', 0, 0) +
                                              frame(FrameType::CloseFrame, QByteArray()));
    QByteArray big = frame(FrameType::DataFrame, QByteArray(600, 'x'));
    big[0] = char((600 + 3 - 500) & 0xFF);
    big[2] = char(FrameType::DataFrame | 0xC0);
    big[1] = '\0';
    big[1] = char(FrameChecksum(big));
    Fuzz::writeSeed("frame-extended", QByteArray(2, '\0') + big);
    Fuzz::writeSeed("file-config", fileInput(0x01, "seconfig\\ABCDEFG.cfg", transfer("TEMP-MIN\r\n5\r\n")));
    Fuzz::writeSeed("file-record-existing", fileInput(0x29, "data\\ABCDEFG3.1MS", transfer("records\r\n")));
    Fuzz::writeSeed("file-escape", fileInput(0x01, "seconfig\\../x.cfg", transfer("x")));
    Fuzz::writeSeed(
        "file-too-large",
        fileInput(0x01, "seconfig\\S.cfg", frame(FrameType::FileLengthFrame, QByteArray("\0\0\0\x20", 4))));
    QByteArray prefixed;
    int seq = 254;
    for (const QByteArray &f :
         {frame(FrameType::FileLengthFrame, QByteArray("\x02\0\0\0", 4)), frame(FrameType::DataFrame, "ab"),
          frame(FrameType::CloseFrame, QByteArray())}) {
        prefixed += "ww" + QByteArray(1, char(seq)) + f;
        seq = TCPUtils::NextSequence(seq);
    }
    Fuzz::writeSeed("file-prefixed", fileInput(0x07, "seconfig\\S.cfg", prefixed));
}

bool appended(const QString &localName)
{
    const QByteArray upper = Text8::upper(Text8::fromQString(localName));
    return upper.endsWith("MS") || upper.endsWith("R");
}

QByteArray readWork(const QString &name, bool &exists)
{
    QFile f(name);
    exists = f.exists();
    if (!exists)
        return QByteArray();
    if (!f.open(QIODevice::ReadOnly))
        Fuzz::fail(QStringLiteral("cannot read back %1").arg(name));
    return f.readAll();
}

void receiveFile(quint8 flags, qint32 sequence, const QByteArray &rest, ScriptedSocket &socket,
                 StationCore &core)
{
    const int nameLength = rest.isEmpty() ? 0 : quint8(rest[0]) % 64;
    const QByteArray name = rest.mid(1, nameLength);
    socket.input = rest.mid(1 + nameLength);
    const qsizetype sent = socket.input.size();

    const QString local = TCPUtils::LocalFileName(name);
    const bool existed = (flags & 0x20) && !local.isEmpty();
    if (existed) {
        QFile f(local);
        if (!f.open(QIODevice::WriteOnly) || f.write(kOld) != kOld.size() || !f.flush())
            Fuzz::fail(QStringLiteral("cannot create %1 beforehand").arg(local));
    }

    const qint64 count = TCPUtils::ReceiveFile(&socket, (flags & 0x02) ? 1 : 0, sequence, name, flags & 0x08,
                                               core, [](const QByteArray &) {});
    Fuzz::expectNothingBesideWork();
    if (count < 0 || count > sent)
        Fuzz::fail(QStringLiteral("%1 bytes received of %2 sent").arg(count).arg(sent));

    QStringList files = Fuzz::workFiles();
    const QString logName = QFileInfo(core.log().path()).fileName();
    if (files.removeAll(logName) > 0) {
        // The bound's line: "<date> <time> /Sensor/ ***Datei zu groß: ...: <name>", alone.
        bool logExists = false;
        const QByteArray log = readWork(logName, logExists);
        const QByteArray line = " /Sensor/ " + Text8::cp(ReportingTexts::FileTooLarge);
        const QByteArray end = Text8::cp(ReportingTexts::FileTooLargeLimit) +
                               QByteArray::number(TCPUtils::MaxReceivedFileBytes) +
                               Text8::cp(ReportingTexts::FileTooLargeName) + name + "\r\n";
        if (count != 0 || log.count("\r\n") != 1 + name.count("\r\n") || log.indexOf(line) < 0 ||
            !log.endsWith(end))
            Fuzz::fail(QStringLiteral("a log line other than the bound's: %1").arg(QString::fromLatin1(log)));
    }
    if (local.isEmpty()) {
        if (!files.isEmpty() || count != 0)
            Fuzz::fail(QStringLiteral("a refused name was received"));
        return;
    }
    if (files.size() > 1 || (!files.isEmpty() && files[0] != local))
        Fuzz::fail(QStringLiteral("other files than %1 in the working directory").arg(local));
    bool exists = false;
    const QByteArray content = readWork(local, exists);
    const QByteArray before = (existed && appended(local)) ? kOld : QByteArray();
    if (count == 0) {
        // Failed, or complete with no bytes: nothing new is left behind.
        if (exists ? content != before : !before.isEmpty())
            Fuzz::fail(QStringLiteral("a partial or lost file after a reception of nothing"));
    } else if (!exists || content.size() != before.size() + count || !content.startsWith(before)) {
        Fuzz::fail(QStringLiteral("%1 bytes reported, the file holds %2").arg(count).arg(content.size()));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    seeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const quint8 flags = data[0];
    qint32 sequence = (flags & 0x10) ? -1 : data[1];
    const QByteArray rest = Fuzz::bytes(data + 2, size - 2);

    RecordingView view;
    StationCore core(view, platformWith(Fuzz::clock()));
    ScriptedSocket socket;
    socket.connected = flags & 0x04;
    if (flags & 0x01) {
        receiveFile(flags, sequence, rest, socket, core);
    } else {
        socket.input = rest;
        quint8 sequenceMode = (flags & 0x02) ? 1 : 0;
        QByteArray payload;
        quint8 frameType = 0;
        TCPUtils::ReceiveFrameRetry(&socket, sequenceMode, sequence, core, payload, frameType);
        if (payload.size() > rest.size() || frameType > 0x3F || sequenceMode > 1)
            Fuzz::fail(QStringLiteral("a frame that did not arrive"));
        Fuzz::expectNothingBesideWork();
        if (!Fuzz::workFiles().isEmpty())
            Fuzz::fail(QStringLiteral("frame reception wrote a file"));
    }
    Fuzz::clearWork();
    return 0;
}
