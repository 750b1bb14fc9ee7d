#pragma once

#include "common/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <stdexcept>

class FrameSocket;
class StationCore;

// Frame types on the link to the HERON server.
namespace FrameType {
inline constexpr quint8 OpenFrame = 1;
inline constexpr quint8 DataFrame = 2;
inline constexpr quint8 CloseFrame = 3;
inline constexpr quint8 FileRequestFrame = 10;
inline constexpr quint8 FileLengthFrame = 22;
inline constexpr quint8 TextFrame = 27;
inline constexpr quint8 LoginFrame = 50;
} // namespace FrameType

// The frame routines of the server link. Every frame is length, checksum,
// type and payload, optionally preceded by "ww" and a sequence byte; every
// frame is answered by 01 01 01 01 and a letter ("A" accepted, "C"
// cancelled, "N" send again), prefixed the same way in sequence mode.
//
// The caller owns the sequence number and the sequence mode and passes them
// to every call. A null client stands for "no client object". Routines that
// show status texts take the station core: each text is handed to the
// activity list under the shared-data semaphore, so the caller must not hold
// the semaphore while it calls them.
namespace TCPUtils {

using HeartbeatSetter = std::function<void(const QByteArray &)>;

inline constexpr int AnswerTimeoutMs = 10000;
inline constexpr int HeaderTimeoutMs = 4000;
inline constexpr int PrefixedHeaderTimeoutMs = 2000;
inline constexpr int AnswerRestTimeoutMs = 10;
inline constexpr int ByteTimeoutMs = 2;
inline constexpr int ResendPauseMs = 5000;
inline constexpr int MaxSends = 5;
inline constexpr int MaxByteMisses = 800;
inline constexpr int ReceiveTries = 100;
inline constexpr int DrainingTries = 20;
inline constexpr int DrainPauseMs = 100;

// Bounds of the waits on the server as a whole, on the station's clock. The
// read time-outs above bound single reads; a server that sends one byte now
// and then would meet every one of them and still hold the station for ever.
//
// One frame, from the wait for its header to its last byte: the header wait
// (4 s, 2 s more after a sequence prefix) and then the rest, which a healthy
// server sends at once (at most 752 bytes, under a second even at 9600 baud).
inline constexpr int FrameTimeoutMs = 15000;

// The file transfers of one report (its error, record and log files, the
// configuration exchange and the updates) keep a pace: every frame that goes
// through, sent and answered or received whole, earns its time on the
// slowest link a station uses, the answer wait (FramePaceMs: a sound peer
// answers within it, or its answer counts as lost) and its bytes at 960
// bytes a second (a 9600 bit/s data line), and the transfers may take
// TransferAllowanceMs more than their frames earned, for lost answers and
// resends; what quick frames earn beyond their own time is not saved up. So
// a peer whose frames each come within the answer wait is never cut,
// however large the file and however poor the link (a frame every 3 s on a
// poor mobile link leaves 7 s to spare on each): 100 KB go through in 69
// minutes at the slowest. A slower peer is cut once it used up the
// allowance: one that sends or answers a frame of 250 bytes every 14 s after
// about 220 s, every 20 s after about 130 s; a frame of 752 bytes every 14 s
// after about 260 s.
inline constexpr int FramePaceMs = AnswerTimeoutMs;
inline constexpr int LinkBytesPerSecond = 960;
inline constexpr int TransferAllowanceMs = 60000;
inline constexpr int TransferPieceBytes = 250;
// A raised alarm does not wait for a long transfer: once the reporting thread
// has seen an alarm waiting for its error file for AlarmGraceMs (a transfer
// that is nearly done gets that long to end), the transfer is cut and the
// next report begins with the error file. The look at the alarms is taken at
// most once in AlarmLookIntervalMs. So the error file is at the server
// within about 2.5 minutes of the alarm on the slowest link the pace serves
// (seen within 16 s, the grace, the frame under way, a new connection of up
// to 21 s and the seven frames up to the error file's close, each within the
// answer wait), within about 80 s when a frame takes 3 s.
inline constexpr int AlarmGraceMs = 30000;
inline constexpr int AlarmLookIntervalMs = 1000;

// Thrown by the frame routines when they end a transfer before its end.
// what() is the code-page text for the activity list and the log; nothing
// more is waited for on that connection.
class TransferCut : public std::runtime_error
{
public:
    explicit TransferCut(const QByteArray &text)
        : std::runtime_error(text.toStdString())
    {}
    QByteArray text() const { return QByteArray(what()); }
};

// The server kept a frame or the transfers beyond their bound: the caller
// ends the session through its failure path.
class ServerTooSlow : public TransferCut
{
public:
    using TransferCut::TransferCut;
};

// An alarm waits to be reported: the caller ends the session without
// counting it as a failure of the link, and the next pass reports the alarm.
class AlarmWaits : public TransferCut
{
public:
    using TransferCut::TransferCut;
};

// A bound on the clock for one wait as a whole: started when made, looked at
// as often as wanted; passed() once the allowed time is over.
class WaitBound
{
public:
    WaitBound(const Clock &clock, qint64 allowedMs)
        : m_clock(clock)
        , m_start(clock.tickCount())
        , m_allowedMs(allowedMs)
    {}
    qint64 elapsedMs() const { return qint64(quint32(m_clock.tickCount() - m_start)); }
    bool passed() const { return elapsedMs() > m_allowedMs; }

private:
    const Clock &m_clock;
    quint32 m_start;
    qint64 m_allowedMs;
};

// The pace of the file transfers of one report (see FramePaceMs), and the cut
// for a waiting alarm. The frame routines that are given it look at it before
// every frame they send (resends included) and while they wait for a frame,
// and count every frame that went through.
class TransferBound
{
public:
    // alarmWaiting tells whether an alarm waits for its error file; none
    // means that no alarm ever cuts the transfers.
    explicit TransferBound(const Clock &clock, std::function<bool()> alarmWaiting = {});

    // A file begins: the texts of a cut name the time since then.
    void beginFile();
    // A frame went through.
    void frameDone(qint64 payloadBytes);
    // Throws ServerTooSlow once the transfers took longer than their frames
    // allow, AlarmWaits once an alarm has waited for AlarmGraceMs.
    void check();

private:
    // What a frame of `bytes` payload bytes earns.
    static qint64 frameMs(qint64 bytes);
    // The time the transfers may take when their frames earned `earnedMs`:
    // the allowance and the frame under way besides.
    static qint64 allowedMs(qint64 earnedMs);
    qint64 elapsedMs() const;
    bool alarmWaitedLongEnough();

    const Clock &m_clock;
    quint32 m_start;
    quint32 m_fileStart;
    qint64 m_earnedMs = 0;
    std::function<bool()> m_alarmWaiting;
    bool m_looked = false;
    quint32 m_lastLook = 0;
    bool m_alarmSeen = false;
    quint32 m_alarmSeenAt = 0;
};

// 255 gives 0, any other n gives n + 1.
qint32 NextSequence(qint32 sequence);

// The MS-DOS date and time in the first four bytes (little-endian, time in
// the low half). Invalid (the "no date" value) when there are fewer than
// four bytes or they hold no valid date and time.
QDateTime DosDateTimeFromBytes(const QByteArray &bytes);

// --- Encoding and decoding without a socket -------------------------------

// The bytes SendFrame writes: L, checksum, type, payload, with "ww" and the
// low byte of the sequence number in front in sequence mode.
QByteArray BuildFrame(const QByteArray &payload, quint8 frameType, quint8 sequenceMode, qint32 sequence);

// 01 01 01 01 letter, in sequence mode with "ww" and the sequence byte first.
QByteArray BuildAnswer(char letter, quint8 sequenceMode, qint32 sequence);

// The length of a received frame from its length and type bytes: a data
// frame's type byte adds 250 for bit 7 and 250 for bit 6.
int EffectiveFrameLength(quint8 lengthByte, quint8 typeByte);

// --- Routines on the link -------------------------------------------------

// Sends one frame and waits for its answer; resends after "N", no answer or
// an unknown letter, up to five sends, pausing on `clock` before each resend.
// true when the server answered "A"; the sequence number then moves on.
// `transfer`, the bound of the transfers the frame belongs to, is looked at
// before every send (TransferBound::check throws) and counts the frame when
// it was answered "A" or "C".
bool SendFrame(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &payload,
               quint8 frameType, Clock &clock = Clock::system(), TransferBound *transfer = nullptr);

// The answer letter upper-cased, or ' ' when no complete answer arrived.
char ReadAnswer(FrameSocket *client, quint8 sequenceMode, qint32 sequence);

bool SendAck(FrameSocket *client, quint8 sequenceMode, qint32 sequence);
bool SendCancel(FrameSocket *client, quint8 sequenceMode, qint32 sequence);

// Receives one frame. payload stays empty when no usable frame arrived; a
// frame without payload is delivered as one byte 00. sequenceMode tells
// whether the frame came with a sequence prefix; sequence takes its sequence
// byte. A repeated frame (sequence mode, same sequence byte) is acknowledged
// again and not delivered. Throws ServerTooSlow when the frame is not whole
// within FrameTimeoutMs; `outer` (the bound of the transfers it belongs to)
// is looked at meanwhile and counts the frame delivered.
void ReceiveFrame(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                  QByteArray &payload, quint8 &frameType, TransferBound *outer = nullptr);

// ReceiveFrame, up to 100 tries; after each of the first 20 fruitless ones it
// pauses and drains what is left of a broken frame from the input. What
// `outer` throws, and a ServerTooSlow of a try, is passed on.
void ReceiveFrameRetry(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                       QByteArray &payload, quint8 &frameType, TransferBound *outer = nullptr);

// The local name of a received file: fileName without everything up to and
// including its last backslash. Empty when that name could leave the working
// directory or name something else than one file in it: an empty name, "."
// or "..", a slash or backslash (once mapped from the code page), a drive
// colon, or a control character such as an embedded NUL.
QString LocalFileName(const QByteArray &fileName);

// Receives a file the server sends after an accepted file request and stores
// it in the working directory under its LocalFileName (record and error
// files, ending in "MS" or "R", are appended to). A name that LocalFileName
// refuses is treated as a file that cannot be created: nothing is touched
// and the server gets "C". Returns the number of payload bytes written; 0
// when the reception failed, which leaves no partial file: a new file is
// removed, an appended one goes back to its earlier content. A file larger
// than maxBytes is cut at once, when its length frame announces it or when a
// data frame would take it past the bound: "C" in place of that frame's
// answer, a status line and a log line; so no server can fill the station's
// disk. localName, when given, is the name the file is stored under in place
// of the one taken from fileName (the status texts keep fileName). The
// frames keep the pace of `transfer` (the report's, or one of the file's own
// when none is given); what it throws, and a frame beyond FrameTimeoutMs
// (ServerTooSlow), leaves the local file removed as after any failure.
inline constexpr qint64 MaxReceivedFileBytes = 256LL * 1024 * 1024;
qint64 ReceiveFile(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &fileName,
                   bool setFileDate, StationCore &thread, const HeartbeatSetter &heartbeat,
                   const QString &localName = QString(), qint64 maxBytes = MaxReceivedFileBytes,
                   TransferBound *transfer = nullptr);

} // namespace TCPUtils
