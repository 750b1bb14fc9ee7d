#include "support/ScriptedSocket.h"
#include "support/StandinLink.h"

#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "reporting/ReportingTexts.h"
#include "support/ManualClock.h"
#include "support/ScopedLocale.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <functional>
#include <optional>

using namespace TCPUtils;
using namespace ReportingTexts;
using Received = HeronStandin::Received;

namespace {

QByteArray content(int n, int seed = 0)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((i * 7 + seed) & 0xFF));
    return b;
}

QByteArray cp(const char *text)
{
    return Text8::cp(text);
}

class ReceiveFileTest : public StandinLinkTest
{
protected:
    QList<QByteArray> heartbeats;
    HeartbeatSetter heartbeat = [this](const QByteArray &t) { heartbeats.append(t); };

    void SetUp() override
    {
        StandinLinkTest::SetUp();
        ASSERT_TRUE(login());
    }

    // Requests a file and receives it, as the configuration download does.
    qint64 fetch(const QByteArray &serverName, bool setFileDate = false)
    {
        if (!send(serverName, FrameType::FileRequestFrame))
            return -1;
        return ReceiveFile(link.get(), 0, sequence, serverName, setFileDate, core, heartbeat);
    }

    // The letters of the station's answers, once the stand-in has n of them.
    QByteArray answerLetters(int n)
    {
        server.waitUntil([n](const HeronStandin &s) { return s.answers().size() >= n; });
        QByteArray letters;
        for (const Received &a : server.answers())
            letters.append(a.letter);
        return letters;
    }
};

} // namespace

TEST_F(ReceiveFileTest, FileIsReceivedInExtendedDataFrames)
{
    const QByteArray served = content(2000);
    serveFile("seconfig/ABCDEFG.cfg", served);
    work.write("ABCDEFG.cfg",
               "an older and longer configuration copy that is replaced as a whole" + content(3000));

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 2000);
    EXPECT_EQ(work.read("ABCDEFG.cfg"), served);
    EXPECT_EQ(view.lines, (QList<QByteArray>{
                              cp("-->Datei seconfig\\ABCDEFG.cfg empfangen"),
                              cp("-->O.K. jetzt kommen die Daten..."),
                              cp("-->Block mit 752 Bytes empfangen"),
                              cp("-->Block mit 752 Bytes empfangen"),
                              cp("-->Block mit 496 Bytes empfangen"),
                              cp("-->CLOSE-FRAME empfangen"),
                              cp("-->File-Länge ist O.K."),
                          }));
    // Ready, the length frame, three data frames, the close frame twice.
    EXPECT_EQ(answerLetters(7), "AAAAAAA");
    for (const Received &a : server.answers())
        EXPECT_EQ(a.raw.toHex(' '), QByteArray("01 01 01 01 41"));
    EXPECT_EQ(sequence, 0);
    EXPECT_TRUE(heartbeats.isEmpty());
}

TEST_F(ReceiveFileTest, RecordAndErrorFilesAreAppendedOthersCreatedAnew)
{
    struct Case
    {
        const char *serverName;
        const char *servedPath;
        const char *localName;
        bool appended;
    } cases[] = {
        {"data\\ABCDEFG3.1MS", "data/ABCDEFG3.1MS", "ABCDEFG3.1MS", true},
        {"data\\abcdefg3.1ms", "data/abcdefg3.1ms", "abcdefg3.1ms", true},
        {"data\\ABCDEFG3.1Ar", "data/ABCDEFG3.1Ar", "ABCDEFG3.1Ar", true},
        {"seconfig\\ABCDEFG.cfg", "seconfig/ABCDEFG.cfg", "ABCDEFG.cfg", false},
        {"seconfig\\Klimawarte.upd", "seconfig/Klimawarte.upd", "Klimawarte.upd", false},
    };
    int round = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.serverName);
        const QByteArray served = content(600, ++round);
        serveFile(c.servedPath, served);
        work.write(c.localName, "old line\r\n");
        EXPECT_EQ(fetch(c.serverName), 600);
        EXPECT_EQ(work.read(c.localName), c.appended ? "old line\r\n" + served : served);
        EXPECT_EQ(view.lines.back(), cp("-->File-Länge ist O.K."));
        // A record file that did not exist is created.
        QFile::remove(work.file(c.localName));
        EXPECT_EQ(fetch(c.serverName), 600);
        EXPECT_EQ(work.read(c.localName), served);
    }
}

TEST_F(ReceiveFileTest, WrongLengthRemovesTheFile)
{
    HeronStandin::ServeOptions o;
    o.lengthDelta = 5;
    server.setServeOptions(o);
    serveFile("seconfig/ABCDEFG.cfg", content(2000));
    serveFile("data/ABCDEFG3.1MS", content(100));
    work.write("ABCDEFG3.1MS", "records of the station\r\n");

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 0);
    EXPECT_EQ(view.lines.back(), cp("***FILE-LENGTH-ERROR received=2000 Soll=2005 Ist=2000"));
    EXPECT_FALSE(QFile::exists(work.file("ABCDEFG.cfg")));
    // The server learns that the file did not arrive: its close frame is
    // answered "C", and it counts nothing as delivered.
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &h) { return !h.served().isEmpty(); }));
    EXPECT_FALSE(server.served().last().delivered);
    EXPECT_EQ(server.answers().last().letter, 'C');

    // An appended file goes back to what it held: the station's own records
    // are not lost with the failed reception.
    EXPECT_EQ(fetch("data\\ABCDEFG3.1MS"), 0);
    EXPECT_EQ(view.lines.back(), cp("***FILE-LENGTH-ERROR received=100 Soll=105 Ist=124"));
    EXPECT_EQ(work.read("ABCDEFG3.1MS"), "records of the station\r\n");
}

TEST_F(ReceiveFileTest, AppendedFileWhoseSizeMatchesCountsAsComplete)
{
    // The length is right when the byte count or the file's size matches.
    HeronStandin::ServeOptions o;
    o.lengthDelta = 24;
    server.setServeOptions(o);
    serveFile("data/ABCDEFG3.1MS", content(100));
    work.write("ABCDEFG3.1MS", "records of the station\r\n");
    EXPECT_EQ(fetch("data\\ABCDEFG3.1MS"), 100);
    EXPECT_EQ(view.lines.back(), cp("-->File-Länge ist O.K."));
}

TEST_F(ReceiveFileTest, EmptyFileGivesZeroWithCorrectLength)
{
    serveFile("seconfig/ABCDEFG.cfg", QByteArray());
    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 0);
    EXPECT_EQ(view.lines.back(), cp("-->File-Länge ist O.K."));
    EXPECT_TRUE(QFile::exists(work.file("ABCDEFG.cfg")));
    EXPECT_EQ(QFileInfo(work.file("ABCDEFG.cfg")).size(), 0);
    EXPECT_EQ(answerLetters(4), "AAAA"); // ready, length, close twice
}

TEST_F(ReceiveFileTest, BrokenTransferLeavesNoPartialFile)
{
    HeronStandin::ServeOptions o;
    o.dropAfterFrames = 2; // the length frame and one data frame, then gone
    server.setServeOptions(o);
    serveFile("seconfig/ABCDEFG.cfg", content(2000));
    serveFile("data/ABCDEFG3.1MS", content(2000));

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 0);
    EXPECT_FALSE(QFile::exists(work.file("ABCDEFG.cfg")));
    EXPECT_TRUE(view.lines.contains(cp("***DISCONNECTED***")));
    EXPECT_EQ(view.lines.count(cp("..auf Daten warten..")), 20);

    // The same with an appended record file on a new connection.
    socket.abort();
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    link = std::make_unique<WatchedTcpSocket>(&socket);
    ASSERT_TRUE(login());
    work.write("ABCDEFG3.1MS", "records of the station\r\n");
    EXPECT_EQ(fetch("data\\ABCDEFG3.1MS"), 0);
    EXPECT_EQ(work.read("ABCDEFG3.1MS"), "records of the station\r\n");
}

TEST_F(ReceiveFileTest, StalledServerGivesNothing)
{
    HeronStandin::ServeOptions o;
    o.stallAfterFrames = 0; // accepts the request, then sends nothing
    server.setServeOptions(o);
    serveFile("seconfig/ABCDEFG.cfg", content(600));
    ASSERT_TRUE(send("seconfig\\ABCDEFG.cfg", FrameType::FileRequestFrame));
    link->setReadTimeoutLimit(1); // each of the 100 header waits would take 4 s
    EXPECT_EQ(ReceiveFile(link.get(), 0, sequence, "seconfig\\ABCDEFG.cfg", false, core, heartbeat), 0);
    EXPECT_FALSE(QFile::exists(work.file("ABCDEFG.cfg")));
    EXPECT_EQ(link->timeouts.count(4000), 100);
    EXPECT_TRUE(server.connectionOpen()); // stalled, not dropped
}

TEST_F(ReceiveFileTest, CancelledWhenTheFileCannotBeWritten)
{
    // Writes to the local file fail (disk full): the data frame is answered,
    // the next frame is cancelled, and nothing is left behind.
    serveFile("seconfig/ABCDEFG.cfg", content(600));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), work.file("ABCDEFG.cfg")));
    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 0);
    EXPECT_FALSE(QFileInfo(work.file("ABCDEFG.cfg")).exists());
    EXPECT_FALSE(QFileInfo(work.file("ABCDEFG.cfg")).isSymLink());
    // Ready, length frame, first data frame, then the cancel.
    EXPECT_EQ(answerLetters(4), "AAAC");
}

TEST_F(ReceiveFileTest, CancelledWhenTheFileCannotBeCreated)
{
    serveFile("seconfig/ABCDEFG.cfg", content(600));
    ASSERT_TRUE(QDir(work.path()).mkdir(QStringLiteral("ABCDEFG.cfg")));
    QFile probe(work.file("ABCDEFG.cfg"));
    probe.open(QIODevice::WriteOnly);
    const QByteArray reason = Text8::fromQString(probe.errorString());
    ASSERT_FALSE(reason.isEmpty());

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 0);
    EXPECT_EQ(view.lines, (QList<QByteArray>{cp("-->Datei seconfig\\ABCDEFG.cfg empfangen"), reason}));
    EXPECT_EQ(answerLetters(1), "C"); // instead of "ready"
}

TEST_F(ReceiveFileTest, WithoutClientObject)
{
    struct Case
    {
        const char *name;
        bool blockWithDirectory;
        QList<QByteArray> extraLines;
    } cases[] = {
        {"seconfig\\A.cfg", false, {}},
        {"data\\A.1MS", false, {}},
        {"data\\B.1MS", true, {cp("***SOCKET-ERROR_1***")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.lines.clear();
        const QString local = work.file(QString::fromLatin1(c.name).section(QLatin1Char('\\'), -1));
        if (c.blockWithDirectory)
            QDir().mkpath(local);
        EXPECT_EQ(ReceiveFile(nullptr, 0, sequence, c.name, false, core, heartbeat), 0);
        EXPECT_EQ(QFileInfo(local).isDir(), c.blockWithDirectory);
        if (!c.blockWithDirectory) {
            EXPECT_FALSE(QFile::exists(local));
        }
        EXPECT_EQ(view.lines, QList<QByteArray>{cp("-->Datei ") + c.name + cp(" empfangen")} + c.extraLines);
    }

    // A file that cannot be created, and no client object to cancel with.
    view.lines.clear();
    QDir().mkpath(work.file("C.cfg"));
    EXPECT_EQ(ReceiveFile(nullptr, 0, sequence, "seconfig\\C.cfg", false, core, heartbeat), 0);
    ASSERT_EQ(view.lines.size(), 3);
    EXPECT_EQ(view.lines[2], cp("***SOCKET-ERROR_2***"));
}

TEST_F(ReceiveFileTest, SequenceModeFollowsTheServersFrames)
{
    HeronStandin::ServeOptions o;
    o.sequencePrefix = true;
    o.firstSequence = 254;
    server.setServeOptions(o);
    const QByteArray served = content(1000);
    serveFile("seconfig/ABCDEFG.cfg", served);

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 1000);
    EXPECT_EQ(work.read("ABCDEFG.cfg"), served);
    // The ready answer goes out before any frame, without prefix; every later
    // answer carries the prefix of the frame it answers: length frame 254,
    // data frames 255 and 0, close frame 1 (answered twice).
    server.waitUntil([](const HeronStandin &s) { return s.answers().size() >= 6; });
    QList<QByteArray> raw;
    for (const Received &a : server.answers())
        raw.append(a.raw.toHex(' '));
    EXPECT_EQ(raw, (QList<QByteArray>{
                       "01 01 01 01 41",
                       "77 77 fe 01 01 01 01 41",
                       "77 77 ff 01 01 01 01 41",
                       "77 77 00 01 01 01 01 41",
                       "77 77 01 01 01 01 01 41",
                       "77 77 01 01 01 01 01 41",
                   }));
    EXPECT_EQ(sequence, 1);
}

TEST_F(ReceiveFileTest, FrameWithWrongChecksumIsSentAgainByTheServer)
{
    HeronStandin::ServeOptions o;
    o.breakFrame = 1;        // the first data frame
    o.answerTimeoutMs = 100; // the stand-in's own patience
    server.setServeOptions(o);
    const QByteArray served = content(1000);
    serveFile("seconfig/ABCDEFG.cfg", served);

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 1000);
    EXPECT_EQ(work.read("ABCDEFG.cfg"), served);
    EXPECT_EQ(view.lines.count(cp("..auf Daten warten..")), 1);
    EXPECT_EQ(answerLetters(6), "AAAAAA"); // the broken frame got none
}

TEST_F(ReceiveFileTest, HeartbeatMovesEvery101Frames)
{
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    HeronStandin::ServeOptions o;
    o.chunkSize = 10;
    server.setServeOptions(o);
    serveFile("seconfig/ABCDEFG.cfg", content(2020)); // 202 data frames
    clock.setLocalDateTime(QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0)));

    EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg"), 2020);
    // 203 frames after the first: the heartbeat moves at the 101st and 202nd.
    EXPECT_EQ(heartbeats, (QList<QByteArray>{"01.03.11 08:30:00", "01.03.11 08:30:00"}));
}

TEST_F(ReceiveFileTest, FileDateFromTheCloseFrame)
{
    const QDateTime when(QDate(2010, 5, 6), QTime(7, 8, 10));
    struct Case
    {
        bool closeDate;
        bool setFileDate;
        bool dated;
    } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.closeDate << c.setFileDate);
        HeronStandin::ServeOptions o;
        o.closeDate = c.closeDate;
        server.setServeOptions(o);
        serveFile("seconfig/ABCDEFG.cfg", content(300));
        {
            QFile f(serveDir() + "/seconfig/ABCDEFG.cfg");
            ASSERT_TRUE(f.open(QIODevice::Append));
            ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
        }
        EXPECT_EQ(fetch("seconfig\\ABCDEFG.cfg", c.setFileDate), 300);
        EXPECT_EQ(QFileInfo(work.file("ABCDEFG.cfg")).lastModified() == when, c.dated);
    }
}

// Frames fed without a network.
class ReceiveFileScripted : public ::testing::Test
{
protected:
    ScopedWorkDir work;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    ScriptedSocket socket;
    qint32 sequence = 0;
};

TEST_F(ReceiveFileScripted, StalledServerLeavesNoPartialFile)
{
    socket.input = serverFrame(22, QByteArray("\x20\0\0\0", 4)) + serverFrame(2, content(16));
    EXPECT_EQ(ReceiveFile(&socket, 0, sequence, "seconfig\\S.cfg", false, core, {}), 0);
    EXPECT_FALSE(QFile::exists(work.file("S.cfg")));
    // Ready, the length frame, the data frame; then nothing.
    EXPECT_EQ(socket.written(), answerBytes('A') + answerBytes('A') + answerBytes('A'));
}

TEST_F(ReceiveFileScripted, ShortLengthFrameCountsMissingBytesAsZero)
{
    socket.input =
        serverFrame(22, QByteArray("\x02", 1)) + serverFrame(2, "ab") + QByteArray::fromHex("03fa03");
    EXPECT_EQ(ReceiveFile(&socket, 0, sequence, "seconfig\\S.cfg", false, core, {}), 2);
    EXPECT_EQ(work.read("S.cfg"), "ab");
}

TEST_F(ReceiveFileScripted, DataFrameFirstIsWrittenAndRepeatsAreNotWrittenTwice)
{
    // A server that starts with data and repeats a frame in sequence mode.
    const QByteArray a = serverFrame(2, "first-");
    const QByteArray b = serverFrame(2, "second");
    socket.input = QByteArray("ww\x05") + a + QByteArray("ww\x06") + b;
    // The repeat and the close frame each come after the station waited.
    socket.deliverOnHeaderWait(
        {QByteArray("ww\x06") + b, QByteArray("ww\x07") + serverFrame(3, QByteArray())});
    EXPECT_EQ(ReceiveFile(&socket, 0, sequence, "seconfig\\S.cfg", false, core, {}), 0);
    // Expected length 0, but 12 bytes arrived: a length error.
    EXPECT_EQ(view.lines.back(), Text8::cp("***FILE-LENGTH-ERROR received=12 Soll=0 Ist=12"));
    // The close frame of the file thrown away is cancelled, not acknowledged.
    const QByteArray ack6 = QByteArray("ww\x06") + answerBytes('A');
    EXPECT_EQ(socket.writes, (QList<QByteArray>{answerBytes('A'), QByteArray("ww\x05") + answerBytes('A'),
                                                ack6, ack6, QByteArray("ww\x07") + answerBytes('C')}));
}

TEST_F(ReceiveFileScripted, FailedWriteOfTheFirstFrameIsCancelled)
{
    // A data frame as the first frame cannot be written (disk full): it is
    // answered "C" instead of "A", and nothing is left behind.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), work.file("S.cfg")));
    socket.input = serverFrame(2, "first-") + QByteArray::fromHex("03fa03");
    EXPECT_EQ(ReceiveFile(&socket, 0, sequence, "seconfig\\S.cfg", false, core, {}), 0);
    EXPECT_FALSE(QFileInfo(work.file("S.cfg")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(work.file("S.cfg")));
    EXPECT_EQ(socket.writes, (QList<QByteArray>{answerBytes('A'), answerBytes('C')}));
    EXPECT_EQ(view.lines, (QList<QByteArray>{Text8::cp("-->Datei seconfig\\S.cfg empfangen")}));
}

TEST_F(ReceiveFileScripted, RecordFileKeepsItsContentWhenNothingArrives)
{
    // Nothing arrives, or there is no client at all: the station's own
    // records in the file that was opened for appending stay as they were.
    for (FrameSocket *client : {static_cast<FrameSocket *>(&socket), static_cast<FrameSocket *>(nullptr)}) {
        SCOPED_TRACE(client ? "silent server" : "no client");
        work.write("ABCDEFG3.1MS", "records of the station\r\n");
        EXPECT_EQ(ReceiveFile(client, 0, sequence, "data\\ABCDEFG3.1MS", false, core, {}), 0);
        EXPECT_EQ(work.read("ABCDEFG3.1MS"), "records of the station\r\n");
    }
}

// A server that sends what it sends late: the next piece arrives after its
// delay on the station's clock, counted from when the piece before it came.
// A read that finds the input short waits for it as long as its time-out
// allows: the piece arrives within it, or the read fails once the time-out
// has passed. `pieces` yields them one by one; nothing more comes when it
// runs dry.
// A reader that finds the input short waits on the station's clock for
// what a peer sends at `dueAt`: true once it came (the clock then stands at
// `dueAt`, or where it was when that had passed), false when the read's
// time-out passed first (the clock then moved by the time-out).
bool arrivesWithinTheRead(const ScriptedSocket &s, ManualClock &clock, quint32 dueAt)
{
    const qint64 due = qint32(dueAt - clock.tickCount());
    if (s.timeout >= 0 && due > s.timeout) {
        clock.advance(s.timeout);
        return false;
    }
    if (due > 0)
        clock.advance(due);
    return true;
}

struct LatePeer
{
    struct Piece
    {
        int delayMs;
        QByteArray bytes;
    };
    std::function<std::optional<Piece>()> pieces;
    std::optional<Piece> next;
    quint32 nextAt = 0; // when `next` arrives

    void attach(ScriptedSocket &socket, ManualClock &clock)
    {
        nextAt = clock.tickCount();
        socket.onStarve = [this, &clock](ScriptedSocket &s) {
            if (!next) {
                next = pieces();
                if (!next)
                    return;
                nextAt += quint32(next->delayMs);
            }
            if (!arrivesWithinTheRead(s, clock, nextAt))
                return;
            s.input.append(next->bytes);
            next.reset();
        };
    }
};

// A frame is bounded as a whole, and the frames of a file keep a pace, on
// the station's clock: a server that trickles inside a frame, sends its
// frames slower than the answer wait on average, crawls on frames that move
// next to nothing, answers where frames belong or floods the link is cut off
// and the partial file is removed; a slow but sound server gets the whole
// file through, however large.
TEST_F(ReceiveFileScripted, ServerThatKeepsAFrameOrTheFileTooLongIsCutOff)
{
    const QByteArray lengthFrame = serverFrame(22, QByteArray("\x00\x10\0\0", 4)); // 4096 bytes
    const QByteArray bigFrame = HeronStandin::encodeFrame(2, content(752));
    constexpr int kBig = 35 * (4096 + 2);
    const QByteArray bigLength = serverFrame(22, QByteArray("\x46\x30\x02\0", 4));
    // `size` bytes in frames of 250 and a close frame, one every intervalMs.
    auto everyMs = [](int intervalMs, int size) {
        return [intervalMs, size](int n) -> std::optional<LatePeer::Piece> {
            if (n * 250 < size)
                return LatePeer::Piece{intervalMs, serverFrame(2, content(std::min(250, size - n * 250)))};
            if (n * 250 < size + 250)
                return LatePeer::Piece{intervalMs, serverFrame(3, QByteArray())};
            return std::nullopt;
        };
    };
    struct Case
    {
        const char *what;
        QByteArray input; // there at the start
        std::function<std::optional<LatePeer::Piece>(int n)> piece; // n counts from 0
        const char *text;  // of the exception; nullptr: none, the file arrives
        qint64 minElapsedMs;
        qint64 maxElapsedMs;
        qint64 size; // of the file that arrives
    } cases[] = {
        {"one byte a second inside a data frame", lengthFrame + bigFrame.left(3),
         [&](int n) -> std::optional<LatePeer::Piece> {
             if (n >= 752)
                 return std::nullopt;
             return LatePeer::Piece{1000, bigFrame.mid(3 + n, 1)};
         },
         FrameTooSlow, FrameTimeoutMs, FrameTimeoutMs + 1000, 0},
        // 12.5 bytes a second: each frame takes 20 s and earns 10.26 s; the
        // 70 s of the allowance and the frame under way are gone at 132 s.
        {"a data frame of 250 bytes every 20 s", lengthFrame, everyMs(20000, 4096), FileTooSlow, 131000,
         136000, 0},
        {"answers where frames belong, one every 3 s", lengthFrame,
         [](int n) -> std::optional<LatePeer::Piece> {
             if (n >= 2000)
                 return std::nullopt;
             return LatePeer::Piece{3000, answerBytes('A')};
         },
         FrameTooSlow, FrameTimeoutMs, FrameTimeoutMs + 3000, 0},
        {"a broken frame, then bytes without end", lengthFrame + serverFrame(2, "abc").replace(1, 1, "\x01"),
         [](int n) -> std::optional<LatePeer::Piece> {
             if (n >= 200000)
                 return std::nullopt;
             return LatePeer::Piece{1, "x"};
         },
         FrameTooSlow, FrameTimeoutMs, FrameTimeoutMs + 1000, 0},
        // 250 bytes every 3 s (83 bytes a second), the first frame in four
        // bursts 1.5 s apart: all of it arrives.
        {"slow but healthy", lengthFrame,
         [&](int n) -> std::optional<LatePeer::Piece> {
             if (n < 4)
                 return LatePeer::Piece{n == 0 ? 3000 : 1500, bigFrame.mid(n * 189, n == 3 ? -1 : 189)};
             const int frame = n - 4; // 752 + 13 * 250 + 94 = 4096
             if (frame < 13)
                 return LatePeer::Piece{3000, serverFrame(2, content(250))};
             if (frame == 13)
                 return LatePeer::Piece{3000, serverFrame(2, content(94))};
             if (frame == 14)
                 return LatePeer::Piece{3000, serverFrame(3, QByteArray())};
             return std::nullopt;
         },
         nullptr, 0, 60000, 4096},
        // A crawl on frames that move nothing, or next to nothing: a frame
        // earns what it moved, and the allowance is gone after 70 s.
        {"empty frames of a type the station does not know, every 9.9 s", lengthFrame,
         [](int n) -> std::optional<LatePeer::Piece> {
             if (n >= 2000)
                 return std::nullopt;
             return LatePeer::Piece{9900, serverFrame(5, QByteArray())};
         },
         FileTooSlow, 70000, 75000, 0},
        {"data frames of 1 byte every 9.9 s", lengthFrame,
         [](int n) -> std::optional<LatePeer::Piece> {
             if (n >= 2000)
                 return std::nullopt;
             return LatePeer::Piece{9900, serverFrame(2, "x")};
         },
         FileTooSlow, 70000, 75000, 0},
        // Just inside the pace, a frame every 9.5 s: no size makes it too
        // slow, the largest configuration arrives after 91 minutes.
        {"a frame every 9.5 s", lengthFrame, everyMs(9500, 4096), nullptr, 0, 18 * 9500, 4096},
        {"the largest configuration, a frame every 9.5 s", bigLength, everyMs(9500, kBig), nullptr, 0,
         (kBig / 250 + 2) * 9500, kBig},
        {"the largest configuration, a frame every 9.9 s, the last piece short", bigLength,
         everyMs(9900, kBig), nullptr, 0, (kBig / 250 + 2) * 9900, kBig},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int n = 0;
        LatePeer peer{[&]() { return c.piece(n++); }, std::nullopt};
        socket.input = c.input;
        socket.writes.clear();
        peer.attach(socket, clock);
        view.lines.clear();
        const quint32 start = clock.tickCount();
        QByteArray thrown;
        qint64 received = -1;
        try {
            received = ReceiveFile(&socket, 0, sequence, "seconfig\\S.cfg", false, core, {});
        } catch (const ServerTooSlow &e) {
            thrown = e.text();
        }
        const qint64 elapsed = qint64(clock.tickCount() - start);
        EXPECT_GE(elapsed, c.minElapsedMs);
        EXPECT_LE(elapsed, c.maxElapsedMs);
        if (c.text) {
            EXPECT_TRUE(thrown.startsWith(cp(c.text))) << thrown.constData();
            EXPECT_TRUE(thrown.endsWith(cp(TooSlowEnd))) << thrown.constData();
            EXPECT_FALSE(QFile::exists(work.file("S.cfg")));
        } else {
            EXPECT_TRUE(thrown.isEmpty()) << thrown.constData();
            EXPECT_EQ(received, c.size);
            EXPECT_EQ(QFileInfo(work.file("S.cfg")).size(), c.size);
        }
        socket.onStarve = nullptr;
        socket.input.clear();
        QFile::remove(work.file("S.cfg"));
    }
}

// A sound server: it sends the frames of a file one at a time, each its
// pace after the station answered the one before (the paces taken in turn),
// and sends a frame again when the station has not answered it within the
// answer wait. Time runs on the station's clock as for LatePeer
// (arrivesWithinTheRead).
struct SoundPeer
{
    QList<QByteArray> frames;
    QList<int> pacesMs;
    int sends = 0; // frames sent, again sent ones included

    void attach(ScriptedSocket &socket, ManualClock &clock)
    {
        socket.onStarve = [this, &clock](ScriptedSocket &s) {
            // The station's first "A" says it is ready, each further one
            // answers the frame out.
            int answers = 0;
            for (const QByteArray &w : s.writes)
                answers += w.endsWith('A') ? 1 : 0;
            if (answers != m_answers) {
                m_answers = answers;
                m_dueAt = clock.tickCount() + quint32(pacesMs[(m_answers - 1) % pacesMs.size()]);
            }
            const int next = m_answers - 1;
            if (next < 0 || next >= frames.size())
                return;
            if (!arrivesWithinTheRead(s, clock, m_dueAt))
                return;
            s.input.append(frames[next]);
            ++sends;
            m_dueAt = clock.tickCount() + quint32(AnswerTimeoutMs); // unanswered: again
        };
    }

private:
    int m_answers = 0;
    quint32 m_dueAt = 0;
};

// A sound server's frames that come while the station pauses after a header
// wait in vain are the beginning of a frame, not the rest of a broken one:
// at every pace within the answer wait, however its frames fall against the
// station's waits (into the 100 ms pause after the first or the second
// 4 s wait, or in turn here and there), each frame is taken the first time
// it is sent, and the file arrives whole without a cut.
TEST_F(ReceiveFileScripted, SoundServerGetsEveryFrameThroughWhereverItFallsAgainstTheWaits)
{
    const QByteArray file = content(6000); // a viewer update in pieces of 250 bytes
    QList<QByteArray> frames{serverFrame(22, QByteArray::fromHex("70170000"))}; // 6000
    for (int at = 0; at < file.size(); at += 250)
        frames.append(serverFrame(2, file.mid(at, 250)));
    frames.append(serverFrame(3, QByteArray()));
    const struct
    {
        const char *what;
        QList<int> pacesMs;
    } cases[] = {
        {"at once", {0}},
        {"every 3 s", {3000}},
        {"at the end of the first header wait", {4000}},
        {"in the pause after the first header wait", {4050}},
        {"at the end of that pause", {4099}},
        {"in the pause after the second header wait", {8150}},
        {"every 9.9 s", {9900}},
        {"jittering across the pauses", {3950, 4020, 4070, 8110, 8180, 9990, 4100, 8200}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SoundPeer peer;
        peer.frames = frames;
        peer.pacesMs = c.pacesMs;
        socket.input.clear();
        socket.writes.clear();
        peer.attach(socket, clock);
        QByteArray thrown;
        qint64 received = -1;
        try {
            received = ReceiveFile(&socket, 0, sequence, "seconfig\\Fernblick.upd", false, core, {},
                                   QStringLiteral("remote.upd"));
        } catch (const TransferCut &e) {
            thrown = e.text();
        }
        EXPECT_TRUE(thrown.isEmpty()) << thrown.constData();
        EXPECT_EQ(received, file.size());
        EXPECT_EQ(work.read("remote.upd"), file);
        EXPECT_EQ(peer.sends, frames.size()); // none had to be sent again
        socket.onStarve = nullptr;
        QFile::remove(work.file("remote.upd"));
    }
}

// The working directory is a folder of its own inside an outer folder, so
// that a name that climbs out of it shows up beside it.
class ReceiveFileLocalName : public ::testing::Test
{
protected:
    ScopedWorkDir outer;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    qint32 sequence = 0;

    void SetUp() override
    {
        ASSERT_TRUE(QDir(outer.path()).mkdir(QStringLiteral("station")));
        ASSERT_TRUE(QDir::setCurrent(outer.file(QStringLiteral("station"))));
    }

    QStringList outerEntries() const
    {
        return QDir(outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QStringList stationEntries() const
    {
        return QDir(outer.file(QStringLiteral("station")))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // A complete transfer of three bytes, as a server would send it.
    static QByteArray transfer()
    {
        return serverFrame(22, QByteArray("\x03\0\0\0", 4)) + serverFrame(2, "abc") +
               serverFrame(3, QByteArray());
    }
};

TEST_F(ReceiveFileLocalName, NamesThatLeaveTheWorkingDirectoryAreRefused)
{
    const QByteArray absolute = Text8::fromQString(outer.file(QStringLiteral("abs.cfg")));
    const QByteArray refused[] = {
        "seconfig\\../x.cfg",
        "data\\../x.1MS",
        "seconfig\\../../x.cfg",
        "seconfig\\" + absolute,
        "data\\" + absolute + ".1MS",
        "seconfig\\sub/x.cfg",
        "seconfig\\..",
        "seconfig\\.",
        "seconfig\\",
        "",
        "seconfig\\C:x.cfg",
        "seconfig\\D:",
        QByteArray("seconfig\\x.cfg\0/../y.cfg", 24),
        QByteArray("seconfig\\x\0.cfg", 15),
        "seconfig\\x\n.cfg",
    };
    const QByteArray reason = Text8::fromQString(qt_error_string(EINVAL));
    for (const QByteArray &name : refused) {
        SCOPED_TRACE(name.toHex(' ').toStdString());
        EXPECT_TRUE(LocalFileName(name).isEmpty());
        view.lines.clear();
        ScriptedSocket socket;
        socket.input = transfer();
        EXPECT_EQ(ReceiveFile(&socket, 0, sequence, name, false, core, {}), 0);
        EXPECT_EQ(socket.writes, QList<QByteArray>{answerBytes('C')});
        EXPECT_EQ(view.lines, (QList<QByteArray>{cp("-->Datei ") + name + cp(" empfangen"), reason}));
        // Without a client object, as a file that cannot be created.
        view.lines.clear();
        EXPECT_EQ(ReceiveFile(nullptr, 0, sequence, name, false, core, {}), 0);
        EXPECT_EQ(view.lines, (QList<QByteArray>{cp("-->Datei ") + name + cp(" empfangen"), reason,
                                                 cp("***SOCKET-ERROR_2***")}));
        EXPECT_EQ(outerEntries(), QStringList{QStringLiteral("station")});
        EXPECT_TRUE(stationEntries().isEmpty());
    }
}

TEST_F(ReceiveFileLocalName, NamesOfTheWorkingDirectoryAreReceived)
{
    const struct
    {
        QByteArray serverName;
        QString localName;
    } cases[] = {
        {"seconfig\\ABCDEFG.cfg", QStringLiteral("ABCDEFG.cfg")},
        {"seconfig\\..\\..\\B.cfg", QStringLiteral("B.cfg")},
        {"data\\ABCDEFG3.1MS", QStringLiteral("ABCDEFG3.1MS")},
        {"C.cfg", QStringLiteral("C.cfg")},
        {"seconfig\\..d.cfg", QStringLiteral("..d.cfg")},
        {"seconfig\\Gr\xFC\xDF\x81.cfg", QString::fromUtf8("Grüß\u0081.cfg")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.serverName.constData());
        EXPECT_EQ(LocalFileName(c.serverName), c.localName);
        ScriptedSocket socket;
        socket.input = transfer();
        EXPECT_EQ(ReceiveFile(&socket, 0, sequence, c.serverName, false, core, {}), 3);
        QFile f(outer.file(QStringLiteral("station/") + c.localName));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "abc");
    }
    EXPECT_EQ(outerEntries(), QStringList{QStringLiteral("station")});
}
