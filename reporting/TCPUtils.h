#pragma once

#include "common/Clock.h"
#include "reporting/TransferBound.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <functional>

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
// is looked at meanwhile. What a frame earns of the bound is for the caller
// to count, which knows what the frame moved.
void ReceiveFrame(FrameSocket *client, quint8 &sequenceMode, qint32 &sequence, StationCore &thread,
                  QByteArray &payload, quint8 &frameType, TransferBound *outer = nullptr);

// ReceiveFrame, up to 100 tries; after each of the first 20 fruitless ones it
// pauses, and when the try took in part of a frame that it could not
// deliver (a wrong checksum, a frame cut short), it drains the rest of that
// frame from the input. A try that only waited in vain drains nothing: what
// arrives meanwhile is the beginning of the server's next frame. What
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
// when none is given), each earning what it moved (TransferBound); what the
// bound throws, and a frame beyond FrameTimeoutMs (ServerTooSlow), leaves
// the local file removed as after any failure.
inline constexpr qint64 MaxReceivedFileBytes = 256LL * 1024 * 1024;
qint64 ReceiveFile(FrameSocket *client, quint8 sequenceMode, qint32 &sequence, const QByteArray &fileName,
                   bool setFileDate, StationCore &thread, const HeartbeatSetter &heartbeat,
                   const QString &localName = QString(), qint64 maxBytes = MaxReceivedFileBytes,
                   TransferBound *transfer = nullptr);

} // namespace TCPUtils
