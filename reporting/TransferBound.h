#pragma once

#include "common/Clock.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <stdexcept>

// How long the waits on the HERON server may take: one frame, and the file
// transfers of one report as a whole. The read time-outs of the frame
// routines bound single reads; a server that sends one byte now and then
// would meet every one of them and still hold the station for ever.
namespace TCPUtils {

// The answer wait: a sound peer answers a frame within it, or its answer
// counts as lost.
inline constexpr int AnswerTimeoutMs = 10000;

// One frame, from the wait for its header to its last byte: the header wait
// (4 s, 2 s more after a sequence prefix) and then the rest, which a healthy
// server sends at once (at most 752 bytes, under a second even at 9600 baud).
inline constexpr int FrameTimeoutMs = 15000;

// The file transfers of one report (its error, record and log files, the
// configuration exchange and the updates) keep a pace. A frame earns its
// time on the slowest link a station uses, and the transfers may take
// TransferAllowanceMs more than their frames earned, for lost answers and
// resends; what quick frames earn beyond their own time is not saved up, so
// a slow part is cut as soon after a quick one as after nothing.
//
// What a frame earns follows what it moves:
// - A frame the station sends (open, data, close, request, text) earns the
//   answer wait (FramePaceMs) and its bytes at LinkBytesPerSecond (a 9600
//   bit/s data line) once it is answered "A" or "C". The station chooses
//   these frames: full pieces of TransferPieceBytes but for a file's last.
// - A data frame of the server earns its share of the answer wait, as much
//   as its bytes are of a full piece (never more than one answer wait), and
//   its bytes: a full piece within the answer wait keeps the pace, whatever
//   the piece sizes, the pace is about 25 bytes a second.
// - The length frame that begins a file and the close frame that ends it
//   each earn the answer wait; the close frame also pays what the file's
//   last piece fell short of a full one, so a short last piece costs
//   nothing.
// - Any other frame (of another type, a repetition) moves nothing and earns
//   nothing.
//
// So the slowest peer that is never cut, however large the file, is one
// that sends or answers a full piece within the answer wait (a frame every
// 3 s on a poor mobile link leaves 7 s to spare on each): 100 KB go through
// in 69 minutes at the slowest. A download that crawls is cut once the
// allowance is gone, checked at least every 4.1 s: empty frames or frames of
// 1 byte every 9.9 s after about 70-75 s; pieces of 250 bytes every 14 s
// after about 220 s, every 20 s after about 130 s. Pieces of 250 bytes every
// 9.9 s keep the pace: such a peer holds a download as long as its size
// allows, the largest configuration (143,430 bytes) 95 minutes, an update
// at its bound of 256 MB 123 days (127 days at the pace itself, a piece
// every 10.26 s); an alarm still cuts it (AlarmGraceMs).
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

// Throws ServerTooSlow with `what` (a text constant) and the seconds waited.
[[noreturn]] void throwTooSlow(const char *what, qint64 elapsedMs);

// The pace of the file transfers of one report (see FramePaceMs), and the cut
// for a waiting alarm. The frame routines that are given it look at it before
// every frame they send (resends included) and while they wait for a frame,
// and count what every frame moved.
class TransferBound
{
public:
    // alarmWaiting tells whether an alarm waits for its error file; none
    // means that no alarm ever cuts the transfers.
    explicit TransferBound(const Clock &clock, std::function<bool()> alarmWaiting = {});

    // A file begins: the texts of a cut name the time since then.
    void beginFile();
    // A frame the station sent was answered.
    void frameAnswered(qint64 payloadBytes);
    // A data frame of the server added `bytes` to the file.
    void pieceReceived(qint64 bytes);
    // The server's length frame at a file's start, or its close frame.
    void fileFrameReceived();
    // Throws ServerTooSlow once the transfers took longer than their frames
    // allow, AlarmWaits once an alarm has waited for AlarmGraceMs.
    void check();

private:
    void earn(qint64 ms);
    qint64 elapsedMs() const;
    bool alarmWaitedLongEnough();

    const Clock &m_clock;
    quint32 m_start;
    quint32 m_fileStart;
    qint64 m_earnedMs = 0;
    // What the file's last received piece fell short of a full piece.
    qint64 m_lastPieceShortMs = 0;
    std::function<bool()> m_alarmWaiting;
    bool m_looked = false;
    quint32 m_lastLook = 0;
    bool m_alarmSeen = false;
    quint32 m_alarmSeenAt = 0;
};

} // namespace TCPUtils
