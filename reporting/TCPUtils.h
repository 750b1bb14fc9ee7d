#pragma once

#include "common/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <algorithm>
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
// One whole transfer, a file received or sent, from its first frame to its
// close frame: a time that follows from its size on the slowest link a
// station uses, a 9600 bit/s data line or GPRS: about 960 bytes a second,
// and up to a second for a frame and its answer to cross it and back (every
// frame waits for its answer). A transfer of n bytes is allowed a fixed 60 s
// (a lost frame or two: each costs a 10 s answer wait and a 5 s pause), one
// second for each of its frames (the first and the close frame, and a data
// frame for every 250 bytes: the station's own pieces, and the most a frame
// carries without the length extension) and n / 960 s. So a healthy server
// on the slowest link gets its file through, and a server that is slower
// holds the report no longer than the file would take on that link: 65 s
// for a configuration of 500 bytes, under three minutes for a log of 22 KB.
// The files of one report share one fixed allowance (ReportSessionRunner).
inline constexpr int TransferAllowanceMs = 60000;
inline constexpr int TransferFrameMs = 1000;
inline constexpr int TransferPieceBytes = 250;
inline constexpr int LinkBytesPerSecond = 960;
qint64 TransferTimeMs(qint64 bytes);

// Thrown by the reception routines when the server kept a frame or a file
// beyond its bound. what() is the code-page text for the activity list and
// the log. The caller ends the session: nothing more is waited for on that
// connection.
class ServerTooSlow : public std::runtime_error
{
public:
    explicit ServerTooSlow(const QByteArray &text)
        : std::runtime_error(text.toStdString())
    {}
    QByteArray text() const { return QByteArray(what()); }
};

// A bound on the clock for one wait as a whole: started when made, looked at
// as often as wanted; passed() once the allowed time is over (the reception
// routines then throw ServerTooSlow). allow() extends it.
class WaitBound
{
public:
    WaitBound(const Clock &clock, qint64 allowedMs)
        : m_clock(clock)
        , m_start(clock.tickCount())
        , m_allowedMs(allowedMs)
    {}
    void allow(qint64 moreMs) { m_allowedMs += moreMs; }
    qint64 elapsedMs() const { return qint64(quint32(m_clock.tickCount() - m_start)); }
    bool passed() const { return elapsedMs() > m_allowedMs; }

private:
    const Clock &m_clock;
    quint32 m_start;
    qint64 m_allowedMs;
};

// The bound of one whole transfer: TransferTimeMs of the largest size it was
// told of (a received file's announced length, a sent file's size and what
// was added to it while it went), with `allowanceMs` in place of the fixed
// allowance when the transfer shares one with others (the files of one
// report: see allowanceUsedMs).
class TransferBound : public WaitBound
{
public:
    explicit TransferBound(const Clock &clock, qint64 bytes = 0, qint64 allowanceMs = TransferAllowanceMs)
        : WaitBound(clock, TransferTimeMs(bytes) - TransferAllowanceMs + allowanceMs)
        , m_bytes(bytes)
        , m_allowanceMs(allowanceMs)
    {}
    void cover(qint64 bytes)
    {
        if (bytes <= m_bytes)
            return;
        allow(TransferTimeMs(bytes) - TransferTimeMs(m_bytes));
        m_bytes = bytes;
    }
    // How much of its allowance the transfer has taken so far: the time it
    // took beyond what its size takes on the slowest link.
    qint64 allowanceUsedMs() const
    {
        const qint64 sizeMs = TransferTimeMs(m_bytes) - TransferAllowanceMs;
        return std::clamp(elapsedMs() - sizeMs, qint64(0), m_allowanceMs);
    }

private:
    qint64 m_bytes;
    qint64 m_allowanceMs;
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
// `transfer`, the bound of the file the frame belongs to: once it has passed,
// no further send is made and ServerTooSlow is thrown.
bool SendFrame(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &payload,
               quint8 frameType, Clock &clock = Clock::system(), const WaitBound *transfer = nullptr);

// The answer letter upper-cased, or ' ' when no complete answer arrived.
char ReadAnswer(FrameSocket *client, quint8 sequenceMode, qint32 sequence);

bool SendAck(FrameSocket *client, quint8 sequenceMode, qint32 sequence);
bool SendCancel(FrameSocket *client, quint8 sequenceMode, qint32 sequence);

// Receives one frame. payload stays empty when no usable frame arrived; a
// frame without payload is delivered as one byte 00. sequenceMode tells
// whether the frame came with a sequence prefix; sequence takes its sequence
// byte. A repeated frame (sequence mode, same sequence byte) is acknowledged
// again and not delivered. Throws ServerTooSlow when the frame is not whole
// within FrameTimeoutMs, or when `outer` (the bound of the file it belongs
// to) passes meanwhile.
void ReceiveFrame(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                  QByteArray &payload, quint8 &frameType, const WaitBound *outer = nullptr);

// ReceiveFrame, up to 100 tries; after each of the first 20 fruitless ones it
// pauses and drains what is left of a broken frame from the input. A
// ServerTooSlow of a try is passed on, and so is a passed `outer` bound.
void ReceiveFrameRetry(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                       QByteArray &payload, quint8 &frameType, const WaitBound *outer = nullptr);

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
// of the one taken from fileName (the status texts keep fileName). A file
// that is not whole within its transfer bound (TransferTimeMs of its
// announced length) or a frame beyond FrameTimeoutMs throws ServerTooSlow,
// with the local file removed as after any failure.
inline constexpr qint64 MaxReceivedFileBytes = 256LL * 1024 * 1024;
qint64 ReceiveFile(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &fileName,
                   bool setFileDate, StationCore &thread, const HeartbeatSetter &heartbeat,
                   const QString &localName = QString(), qint64 maxBytes = MaxReceivedFileBytes);

} // namespace TCPUtils
