#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// A stand-in for the HERON server on 127.0.0.1, for tests, the benchmark and
// demonstrations. It runs in a thread of its own and serves one connection at
// a time:
// - the first frame must be the login frame with the fixed literal;
// - text frames are accepted;
// - uploads (open, data, close frames) are stored under their server-side
//   name below the upload directory ("data\x.1MS" -> <dir>/data/x.1MS); a
//   record, error or log file (below "data\" or "sensorlogfile\") that
//   arrives again under a name the directory holds is appended to it, so the
//   directory shows all a station delivered; any other upload (a
//   configuration copy) replaces the file of its name;
// - file requests are served from the serve directory the same way: a file
//   length frame, data frames of up to 752 bytes (the length-extension bits
//   set where needed) and a close frame with the file's date, each sent after
//   the station answered the previous one; a file counts as delivered when
//   the station answered its close frame "A";
// - a frame with a wrong checksum is answered "N";
// - a frame with a sequence prefix is answered with the same prefix.
// It can be scripted to answer otherwise, and it records every frame and
// every answer it received.
class HeronStandin
{
public:
    enum class Kind {
        Normal,         // as described above
        Answer,         // answer this letter, take no other action
        Silent,         // no answer, go on reading
        Drop,           // close the connection without an answer
        AnswerThenDrop, // answer normally, then close the connection
        Stall,          // read and answer nothing more; the connection stays open
    };
    struct Reaction
    {
        Kind kind = Kind::Normal;
        char letter = 'A';
        static Reaction normal() { return {}; }
        static Reaction answer(char letter) { return {Kind::Answer, letter}; }
        static Reaction silent() { return {Kind::Silent, ' '}; }
        static Reaction drop() { return {Kind::Drop, ' '}; }
        static Reaction answerThenDrop() { return {Kind::AnswerThenDrop, ' '}; }
        static Reaction stall() { return {Kind::Stall, ' '}; }
    };

    // How requested files are sent.
    struct ServeOptions
    {
        int chunkSize = 752;         // payload bytes per data frame, 1..752
        bool sequencePrefix = false; // "ww" + sequence byte before every frame
        int firstSequence = 100;     // sequence byte of the first frame
        qint64 lengthDelta = 0;      // announced length = real length + delta
        bool closeDate = true;       // the close frame carries the file's DOS date
        int dropAfterFrames = -1;    // close the connection after sending this many frames
        int stallAfterFrames = -1;   // send nothing more after this many frames
        int breakFrame = -1;         // this frame (0 = length frame) goes out once with a wrong checksum
        int answerTimeoutMs = 2000;  // without an answer in this time a frame is sent again
        int maxSends = 4;            // sends of one frame before serving is given up
        int frameIntervalMs = 0;     // pause before each frame of the file (a slow link)
        int fillerFrames = 0;        // empty frames of a type the station does not know, after the length frame
    };

    struct Received
    {
        int connection = 0;   // 1 for the first connection
        bool isAnswer = false; // an answer of the station, not a frame
        QByteArray raw;       // the bytes as received, sequence prefix included
        quint8 type = 0;      // frame type byte
        QByteArray payload;
        bool checksumOk = true;
        char letter = 0; // answers: their last byte
    };

    struct Upload
    {
        QByteArray name; // server-side name
        QByteArray content;
    };

    // One requested file that the stand-in began to send.
    struct Served
    {
        QByteArray name; // server-side name
        QByteArray content;
        bool delivered = false; // the station answered its close frame "A"
    };

    HeronStandin();
    ~HeronStandin();
    HeronStandin(const HeronStandin &) = delete;
    HeronStandin &operator=(const HeronStandin &) = delete;

    // Listens on 127.0.0.1 (port 0: any free port); false when that fails.
    // May be called again after stop().
    bool start(quint16 port = 0);
    void stop();
    quint16 port() const;

    void setUploadDir(const QString &dir);
    void setServeDir(const QString &dir);
    void setServeOptions(const ServeOptions &options);
    // Options for one requested file alone (its server-side name); the
    // others keep the general ones.
    void setServeOptions(const QByteArray &serverName, const ServeOptions &options);
    void setRequireLogin(bool require);
    // Every frame of the station is answered this many milliseconds late
    // (a slow link); 0, the default, answers at once.
    void setAnswerDelayMs(int ms);

    // Reactions to the next frames received, one each; after them the
    // stand-in answers normally again.
    void queueReactions(const QList<Reaction> &reactions);

    // Called on the stand-in's thread for every frame and answer received.
    void setObserver(std::function<void(const Received &)> observer);

    QList<Received> received() const; // frames and answers in order
    QList<Received> frames() const;    // frames only
    QList<Received> answers() const;   // answers only
    QList<Upload> uploads() const;     // completed uploads in order
    QList<Served> served() const;      // requested files in order, once sending ended
    int connectionCount() const;
    bool connectionOpen() const;
    void clearRecords();

    // Waits (in real time, returning as soon as it holds) until pred is true
    // for the records; false after timeoutMs.
    bool waitUntil(const std::function<bool(const HeronStandin &)> &pred, int timeoutMs = 10000) const;

    // Names on the server map to paths below a directory; names that leave it
    // ("..", absolute, empty parts) map to nothing.
    static QString mapName(const QString &dir, const QByteArray &serverName);
    // Whether an upload of this name is appended to the stored file of the
    // same name (record, error and log files) instead of replacing it.
    static bool appendsOnArrival(const QByteArray &serverName);

    // A frame as the server sends it, length-extension bits included.
    static QByteArray encodeFrame(quint8 type, const QByteArray &payload);
    static QByteArray dosDateTime(const QDateTime &when);

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};
