#include "HeronStandin.h"

#include "common/LocaleFormat.h"
#include "common/LoginFrame.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "platform/ServiceStore.h"
#include "platform/UpdateFallback.h"
#include "reporting/MyHERONThread.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "reporting/UpdateRestart.h"
#include "station/ConfigTexts.h"
#include "station/SharedDataSemaphore.h"
#include "station/StationConfigFile.h"
#include "station/StationCore.h"
#include "station/ViewerService.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/RecordingProgramRestart.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/ScopedTmpfs.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"
#include "support/TricklingHeronServer.h"
#include "support/ViewerPeer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <mutex>

using namespace ReportingTexts;
using Reaction = HeronStandin::Reaction;

namespace {

QByteArray cp(const char *text)
{
    return Text8::cp(text);
}

QByteArray frame(const QByteArray &payload, quint8 type)
{
    return TCPUtils::BuildFrame(payload, type, 0, 0);
}

QByteArray lines(const QByteArrayList &l)
{
    return ConfigFormat::joinLines(l);
}

// What the server holds for the station: keys and values with blanks around
// them, a hand-entered identifier, a server with its port, and a 35th line.
const QByteArrayList kServerLines{
    " Temp-Min ",    " 12,5 ",        "Temp-Max",    "30",    "RH-Min",         "",
    "RH-Max",        "85",            "TP-Min",      "-3",    "TP-Max",         "",
    "T-TP-Min",      "2",             "T-TP-Max",    "",      "RX-Checked",     "true",
    "RI-Checked",    "-1",            "DC-Checked",  "FALSE", "CTS-Checked",    "1",
    "HERON-Kennung", " $NEW1234 ",    "HERON-Server", "heron.example:2010", "COM-Port", "COM4:",
    "Alarmintervall", "6",            "CPU-MAX-TEMP", "7",    " update "};
// The r2arodire.cfg made of it: 34 lines, each trimmed.
const QByteArrayList kWrittenLines{
    "Temp-Min",      "12,5",     "Temp-Max",     "30",    "RH-Min",         "",
    "RH-Max",        "85",       "TP-Min",       "-3",    "TP-Max",         "",
    "T-TP-Min",      "2",        "T-TP-Max",     "",      "RX-Checked",     "true",
    "RI-Checked",    "-1",       "DC-Checked",   "FALSE", "CTS-Checked",    "1",
    "HERON-Kennung", "$NEW1234", "HERON-Server", "heron.example:2010", "COM-Port", "COM4:",
    "Alarmintervall", "6",       "CPU-MAX-TEMP", "7"};

const QByteArray kOldConfig = "the station's previous r2arodire.cfg\r\n";

QByteArray readPath(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Polls pred for up to 10 s of real time (a peer in a thread of its own).
template <typename Pred> bool waitReal(Pred pred)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < 10000)
        QThread::msleep(5);
    return pred();
}

// The reporting thread driven pass by pass against the stand-in server on
// loopback, on a manual clock, German settings; the server's uploads and the
// files it serves lie in two folders of its own.
class Exchange : public ::testing::Test
{
protected:
    ScopedWorkDir work;
    QTemporaryDir logDir;
    QTemporaryDir serviceDir;
    ManualClock clock{1000000, QDateTime(QDate(2024, 12, 3), QTime(14, 4, 59))};
    ScopedLocale locale{QLocale(QLocale::German, QLocale::Germany)};
    RecordingView view;
    RecordingNotices notices;
    RecordingProgramRestart restart;
    DirectoryServiceStore service{serviceDir.path()};
    StationCore core{view, platformWith(clock, &notices)};
    StationState &s = core.state;
    StationConfig &cfg = core.config;
    QTemporaryDir serverDir;
    HeronStandin server;
    std::unique_ptr<MyHERONThread> thread;

    // The station's files and flags as each frame arrived (on the
    // stand-in's thread).
    struct Seen
    {
        HeronStandin::Received frame;
        bool configExists;
        QByteArray save;
        bool updateFileLocked;
    };
    mutable std::mutex seenMutex;
    QList<Seen> seen;

    QString uploads() const { return serverDir.filePath(QStringLiteral("up")); }
    QString files() const { return serverDir.filePath(QStringLiteral("files")); }

    void SetUp() override
    {
        core.platform().workingDirectory = logDir.path();
        core.platform().restart = &restart;
        core.platform().restartDelayMs = 1234;
        core.platform().service = &service;
        cfg.StationId = "ABC1234";
        cfg.ServerHost = "127.0.0.1";
        cfg.AlarmInterval = "4";
        cfg.CheckDC = true;
        QDir().mkpath(uploads());
        QDir().mkpath(files() + QStringLiteral("/seconfig"));
        server.setUploadDir(uploads());
        server.setServeDir(files());
        server.setObserver([this](const HeronStandin::Received &r) {
            if (r.isAnswer)
                return;
            Seen one{r, QFileInfo::exists(QStringLiteral("r2arodire.cfg")), work.read("r2arodire.save"),
                     s.UpdateFileLocked.load()};
            std::lock_guard lock(seenMutex);
            seen.append(one);
        });
        ASSERT_TRUE(server.start());
        cfg.ServerPort = QByteArray::number(server.port());
        thread = std::make_unique<MyHERONThread>(core);
        s.LastReportTime = clock.tickSeconds() + 10;
        thread->threadStart();
        view.lines.clear();
        view.intervallLeft.clear();
    }

    void TearDown() override
    {
        thread->threadEnd();
        server.stop();
        core.platform().workingDirectory = QString();
    }

    // One report pass with nothing else to send.
    void report()
    {
        s.ImmediateReport = true;
        EXPECT_TRUE(thread->step());
        server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });
    }

    void serve(const QString &relative, const QByteArray &content) const
    {
        ScopedWorkDir::writeTo(files() + QLatin1Char('/') + relative, content);
    }

    // The frames from the first one after the report kind on.
    QList<QByteArray> exchangeFrames() const
    {
        QList<QByteArray> out;
        const QList<HeronStandin::Received> frames = server.frames();
        for (qsizetype i = 4; i < frames.size(); ++i)
            out.append(frames[i].raw);
        return out;
    }

    QList<Seen> seenFrames() const
    {
        std::lock_guard lock(seenMutex);
        return seen;
    }

    // Whether `wanted` appear in the activity list in this order.
    ::testing::AssertionResult linesInOrder(const QList<QByteArray> &wanted) const
    {
        qsizetype at = 0;
        for (const QByteArray &w : wanted) {
            const qsizetype found = view.lines.indexOf(w, at);
            if (found < 0)
                return ::testing::AssertionFailure() << "missing or out of order: " << w.constData();
            at = found + 1;
        }
        return ::testing::AssertionSuccess();
    }

    QList<QByteArray> markers() const
    {
        return view.intervallLeft;
    }

    static QByteArray request(const char *name) { return frame(cp(name), FrameType::FileRequestFrame); }
    static QByteArray configRequest() { return frame("seconfig\\ABC1234.cfg", FrameType::FileRequestFrame); }
    static QByteArray logout() { return frame("*ENDE*", FrameType::TextFrame); }
    static QByteArray dir() { return Text8::fromQString(QDir::currentPath()); }
};

} // namespace

TEST_F(Exchange, UploadAndDownloadFrameByFrame)
{
    const QByteArray copy = StationConfigFileBytes(cfg) + "one more line for a second piece\r\n";
    ASSERT_GT(copy.size(), 250);
    work.write("ABC1234.cfg", copy);
    work.write("r2arodire.cfg", kOldConfig);
    work.write("r2arodire.save", "an older save");
    serve("seconfig/ABC1234.cfg", lines(kServerLines));

    report();

    // Upload: open, two pieces, close; download: the request; then the two
    // update requests that the 35th line asked for, refused here.
    EXPECT_EQ(exchangeFrames(),
              (QList<QByteArray>{frame("seconfig\\ABC1234.cfg", FrameType::OpenFrame),
                                 frame(copy.left(250), FrameType::DataFrame),
                                 frame(copy.mid(250), FrameType::DataFrame), frame({}, FrameType::CloseFrame),
                                 configRequest(), request(ServerViewerUpdate), request(ServerStationUpdate),
                                 logout()}));
    ASSERT_EQ(server.uploads().size(), 1);
    EXPECT_EQ(server.uploads()[0].name, "seconfig\\ABC1234.cfg");
    EXPECT_EQ(server.uploads()[0].content, copy);
    // The station answered ready, the length, the data and the close twice,
    // and the server counts the file as delivered.
    QByteArray letters;
    for (const HeronStandin::Received &a : server.answers())
        letters.append(a.letter);
    EXPECT_EQ(letters, "AAAAA");
    ASSERT_EQ(server.served().size(), 1);
    EXPECT_TRUE(server.served()[0].delivered);

    // While the server's copy was requested the old file was r2arodire.save;
    // the configuration was locked from the upload to the end of the
    // download.
    const QList<Seen> frames = seenFrames();
    ASSERT_EQ(frames.size(), 4 + 8);
    EXPECT_FALSE(frames[8].configExists);
    EXPECT_EQ(frames[8].save, kOldConfig);
    for (int i = 4; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].updateFileLocked, i <= 8);
    }
    EXPECT_FALSE(s.UpdateFileLocked);

    // r2arodire.cfg is the server's copy, pair by pair; the old one stays as
    // r2arodire.save until the next download; both copies of the identifier
    // file are gone.
    EXPECT_EQ(work.read("r2arodire.cfg"), lines(kWrittenLines));
    EXPECT_EQ(work.read("r2arodire.save"), kOldConfig);
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));

    // The live settings: values as received, the identifier and the server
    // as the start-up reader takes them, the flags converted.
    EXPECT_EQ(cfg.TempMin, " 12,5 ");
    EXPECT_EQ(cfg.TempMax, "30");
    EXPECT_EQ(cfg.RHMin, "");
    EXPECT_EQ(cfg.RHMax, "85");
    EXPECT_EQ(cfg.TPMin, "-3");
    EXPECT_EQ(cfg.TTPMin, "2");
    EXPECT_TRUE(cfg.CheckRX);
    EXPECT_TRUE(cfg.CheckRI);
    EXPECT_FALSE(cfg.CheckDC);
    EXPECT_TRUE(cfg.CheckCTS);
    EXPECT_EQ(cfg.StationId, "NEW1234");
    EXPECT_TRUE(cfg.ManualStationId);
    EXPECT_EQ(cfg.ServerHost, "heron.example");
    EXPECT_EQ(cfg.ServerPort, "2010");
    EXPECT_EQ(cfg.ComPort, "COM4:");
    EXPECT_EQ(cfg.AlarmInterval, "6");
    EXPECT_EQ(cfg.CpuMaxTempDistance, "7");
    EXPECT_TRUE(thread->state().UpdateRequested);

    // The labels and the contact boxes at once.
    EXPECT_EQ(view.limitTexts[LimitLabel::Temp], cp("min:  12,5 °C  max: 30°C  "));
    EXPECT_EQ(view.limitTexts[LimitLabel::TP], cp("min: -3°C  "));
    EXPECT_EQ(view.limitTexts[LimitLabel::T_TP], cp("min: 2°C  "));
    EXPECT_EQ(view.limitTexts[LimitLabel::RH], cp("max: 85%  "));
    EXPECT_EQ(view.contactWatch, (std::pair<bool, bool>{true, false}));
    EXPECT_TRUE(core.mirror.CheckRI);
    EXPECT_FALSE(core.mirror.CheckDC);

    EXPECT_TRUE(linesInOrder({
        cp(ConfigSend) + "ABC1234" + cp(ConfigSendEnd),
        cp(OpenSent) + "ABC1234.cfg",
        cp(CloseOk),
        cp(OldConfigDeleted) + dir() + "\\ABC1234.cfg" + cp(OldConfigDeletedEnd),
        cp(SaveDeleted),
        cp(ConfigToSave),
        cp(FileRequestSent) + "seconfig\\ABC1234.cfg" + cp(FileRequestSentEnd),
        cp("-->Datei seconfig\\ABC1234.cfg empfangen"),
        cp("-->File-Länge ist O.K."),
        cp(ConfigDownloaded) + "seconfig\\ABC1234.cfg" + cp(ConfigDownloadedEnd),
        cp(UpdateRequestedText),
        cp(ReceivedCopyDeleted) + "ABC1234" + cp(ReceivedCopyDeletedEnd),
        cp(ConfigTaken),
        cp(ConfigActivated),
        cp(ViewerUpdateDeleted),
        cp(ViewerUpdateIgnored),
        cp(ViewerUpdateDeleted),
        cp(StationUpdateDeleted),
        cp(StationUpdateIgnored),
        cp(StationUpdateDropped),
        cp(LogoutSent),
    }));
    EXPECT_FALSE(view.lines.contains(cp(ConfigKept)));
    EXPECT_EQ(markers().mid(markers().indexOf(cp(MarkerKind)) + 1),
              (QList<QByteArray>{cp(MarkerConfigOpen), cp(MarkerConfigData), cp(MarkerUpdate1),
                                 cp(MarkerUpdate1Read), cp(MarkerUpdate2), cp(MarkerUpdate2Read),
                                 cp(MarkerLogout)}));

    // A viewer's next measurement message carries the new settings.
    core.platform().viewerBasePort = 0;
    ViewerService viewers(core);
    viewers.open();
    viewers.listen();
    s.MeasureTime = "03.12.24 14:05:30";
    QByteArrayList texts;
    ViewerPeer peer(viewers.socket()->serverPort(), [&](ViewerPeer::Link &link) {
        while (texts.size() < 24) {
            const QByteArray t = link.read();
            if (t.isEmpty())
                break;
            texts.append(t);
            link.write("OK");
        }
    });
    QElapsedTimer waited;
    waited.start();
    while (!peer.done() && waited.elapsed() < 10000)
        core.processPendingMessages();
    ASSERT_EQ(texts.size(), 24);
    EXPECT_EQ(texts[6], " 12,5  ");
    EXPECT_EQ(texts[7], "30 ");
    EXPECT_EQ(texts[8], "-3 ");
    EXPECT_EQ(texts[13], "85 ");
    EXPECT_EQ(texts[15], "-1");
    EXPECT_EQ(texts[16], "0");
    EXPECT_EQ(texts[19], "heron.example:2010 ");
    EXPECT_EQ(texts[20], "COM4: ");
    EXPECT_EQ(texts[22], "6 ");
    EXPECT_EQ(texts[23], "7 ");
    s.TerminateRequested = true;
    waited.restart();
    while (viewers.connectionThreads() > 0 && waited.elapsed() < 10000)
        core.processPendingMessages();
}

// A download that brings nothing usable leaves r2arodire.cfg as it was and
// the live settings untouched; an update request of an earlier download
// still holds.
// The exchange through its own interface, on a connection the test opens:
// the same frames after the login, the server's copy taken, and the
// sequence state left with the shared connection.
TEST_F(Exchange, ThePartRunsOnAConnectionOpenedWithoutTheSession)
{
    const QByteArray copy = "a copy in one piece\r\n";
    work.write("ABC1234.cfg", copy);
    work.write("r2arodire.cfg", kOldConfig);
    serve("seconfig/ABC1234.cfg", lines(kServerLines));

    ReportConnection &link = thread->connection();
    thread->transport().PrepareConnection();
    QByteArray message;
    ASSERT_TRUE(thread->transport().ConnectServer(message)) << message.constData();
    ASSERT_TRUE(TCPUtils::SendFrame(link.client(), link.SequenceMode, link.Sequence, LoginFrame::literal(),
                                    FrameType::LoginFrame, clock));
    const qint32 afterLogin = link.Sequence;

    TCPUtils::TransferBound bound(clock);
    EXPECT_TRUE(thread->exchange().run(bound));
    thread->DisconnectServer();
    server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });

    QList<QByteArray> frames;
    for (const HeronStandin::Received &r : server.frames())
        frames.append(r.raw);
    ASSERT_FALSE(frames.isEmpty());
    frames.removeFirst(); // the login
    EXPECT_EQ(frames, (QList<QByteArray>{frame("seconfig\\ABC1234.cfg", FrameType::OpenFrame),
                                         frame(copy, FrameType::DataFrame), frame({}, FrameType::CloseFrame),
                                         configRequest(), request(ServerViewerUpdate),
                                         request(ServerStationUpdate)}));
    EXPECT_NE(link.Sequence, afterLogin);
    EXPECT_EQ(work.read("r2arodire.cfg"), lines(kWrittenLines));
    EXPECT_EQ(work.read("r2arodire.save"), kOldConfig);
    EXPECT_EQ(cfg.StationId, "NEW1234");
    EXPECT_TRUE(thread->state().UpdateRequested);
    EXPECT_FALSE(s.UpdateFileLocked);
}

TEST_F(Exchange, DownloadWithoutAConfigurationKeepsTheOldOne)
{
    const struct
    {
        const char *what;
        QByteArray served; // empty: not on the server
        HeronStandin::ServeOptions options;
        bool refused;
        bool delivered = false; // the transfer itself was complete
    } cases[] = {
        {"refused request", {}, {}, true},
        {"empty transfer", "", {}, false, true},
        {"first line one NUL", QByteArray("\0\r\nTemp-Max\r\n99\r\n", 17), {}, false, true},
        {"wrong length", lines(kServerLines), [] {
             HeronStandin::ServeOptions o;
             o.lengthDelta = 3;
             return o;
         }(), false},
        {"stops half-way", lines(kServerLines), [] {
             HeronStandin::ServeOptions o;
             o.chunkSize = 40;
             o.dropAfterFrames = 3;
             return o;
         }(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(files() + QStringLiteral("/seconfig/ABC1234.cfg"));
        if (c.what != std::string("refused request"))
            serve("seconfig/ABC1234.cfg", c.served);
        server.setServeOptions(c.options);
        work.write("r2arodire.cfg", kOldConfig);
        cfg.ServerPort = QByteArray::number(server.port());
        const StationConfig before = cfg;
        thread->state().UpdateRequested = true;
        view.lines.clear();
        view.intervallLeft.clear();
        server.clearRecords();

        report();

        EXPECT_EQ(work.read("r2arodire.cfg"), kOldConfig);
        EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.save")));
        EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));
        EXPECT_EQ(cfg, before);
        EXPECT_TRUE(view.limitTexts.empty());
        EXPECT_TRUE(thread->state().UpdateRequested);
        EXPECT_FALSE(s.UpdateFileLocked);
        EXPECT_EQ(markers().contains(cp(MarkerConfigRead1)), c.refused);
        EXPECT_EQ(view.lines.contains(cp(NoConfigDownloaded)), c.refused);
        EXPECT_TRUE(linesInOrder(
            {cp(ConfigKept), cp(ConfigFileDeleted), cp(SaveToConfig), cp(ViewerUpdateDeleted)}));
        EXPECT_FALSE(view.lines.contains(cp(ConfigActivated)));
        // A file the station threw away never counts as delivered.
        for (const HeronStandin::Served &f : server.served())
            EXPECT_EQ(f.delivered, c.delivered) << f.name.constData();
        // The update requests still go out while the connection holds.
        const QList<QByteArray> frames = exchangeFrames();
        if (c.options.dropAfterFrames < 0) {
            EXPECT_EQ(frames, (QList<QByteArray>{configRequest(), request(ServerViewerUpdate),
                                                 request(ServerStationUpdate), logout()}));
        }
    }
}

// A downloaded value that would break the line-based file, or an identifier
// that could not be a plain file name in the working folder, is not taken:
// the setting in force stays, goes into r2arodire.cfg, and the log says why.
// The other values are taken as always.
TEST_F(Exchange, DownloadedValuesThatBreakTheFileOrLeaveTheFolderAreRefused)
{
    const QByteArray notOneLine = cp(ConfigTexts::ValueNotOneLine);
    const QByteArray notPlain = cp(ConfigTexts::IdNotPlainFileName);
    const struct
    {
        const char *what;
        int line; // zero-based value line
        QByteArray served;
        const char *key;
        QByteArray reason;
    } cases[] = {
        {"identifier two folders up", 25, "../../Z", "HERON-Kennung", notPlain},
        {"identifier with an absolute path", 25, "/tmp/rB", "HERON-Kennung", notPlain},
        {"hand-entered identifier a folder up", 25, "$../../M", "HERON-Kennung", notPlain},
        {"identifier with a drive", 25, "C:ABCDE", "HERON-Kennung", notPlain},
        {"identifier with a NUL", 25, QByteArray("SI\0M123", 7), "HERON-Kennung", notOneLine},
        {"server with a carriage return", 27, "127.0.0.1\rTemp-Min", "HERON-Server", notOneLine},
        {"threshold with a NUL", 3,
         QByteArray("3\0"
                    "0",
                    3),
         "Temp-Max", notOneLine},
        {"port with a carriage return", 29, "COM3:\r99", "COM-Port", notOneLine},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArrayList served = kServerLines;
        served[c.line] = c.served;
        serve("seconfig/ABC1234.cfg", lines(served));
        work.write("r2arodire.cfg", kOldConfig);
        cfg.StationId = "ABC1234";
        cfg.ManualStationId = false;
        cfg.ServerHost = "127.0.0.1";
        cfg.ServerPort = QByteArray::number(server.port());
        cfg.TempMax = "28";
        cfg.ComPort = "COM3:";
        const StationConfig before = cfg;
        QFile::remove(QDir(logDir.path()).filePath(QStringLiteral("zav_sensor_logfile.log")));

        report();

        // The refused setting is the one in force; the others came.
        QByteArrayList expected = kWrittenLines;
        expected[c.line] = StationConfigFileLines(before).at(c.line);
        EXPECT_EQ(work.read("r2arodire.cfg"), lines(expected));
        EXPECT_EQ(cfg.StationId, c.line == 25 ? before.StationId : QByteArray("NEW1234"));
        EXPECT_EQ(cfg.ManualStationId, c.line != 25);
        EXPECT_EQ(cfg.ServerHost, c.line == 27 ? before.ServerHost : QByteArray("heron.example"));
        EXPECT_EQ(cfg.TempMax, c.line == 3 ? before.TempMax : QByteArray("30"));
        EXPECT_EQ(cfg.TempMin, " 12,5 ");
        EXPECT_TRUE(view.lines.contains(cp(ConfigActivated)));
        QFile log(QDir(logDir.path()).filePath(QStringLiteral("zav_sensor_logfile.log")));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_TRUE(log.readAll().contains(cp(DownloadValueRefused) + c.key + cp(DownloadValueRefusedEnd) +
                                           c.reason + "\r\n"));
        QFile::remove(files() + QStringLiteral("/seconfig/ABC1234.cfg"));
    }
}

TEST_F(Exchange, ThirtyFifthLineAsksForTheUpdates)
{
    const struct
    {
        const char *what;
        QByteArrayList extra; // lines after the 34th
        bool requested;
    } cases[] = {
        {"no 35th line", {}, false},
        {"UPDATE", {"UPDATE"}, true},
        {"lower case with blanks", {"  update \t"}, true},
        {"another word", {"UPDATES"}, false},
        {"empty 35th, UPDATE 36th", {"", "UPDATE"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArrayList served = kServerLines.mid(0, 34);
        served[25] = "ABC1234";
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        serve("seconfig/ABC1234.cfg", lines(served + c.extra));
        work.write("remote.upd", "left from before");
        work.write("sensor.upd", "left from before");
        thread->state().UpdateRequested = !c.requested;
        view.lines.clear();
        server.clearRecords();

        report();

        EXPECT_EQ(thread->state().UpdateRequested, c.requested);
        EXPECT_EQ(view.lines.contains(cp(UpdateRequestedText)), c.requested);
        EXPECT_EQ(work.read("r2arodire.cfg").count("\r\n"), 34);
        // Both update files go; without the request nothing is asked for.
        EXPECT_FALSE(QFileInfo::exists(work.file("remote.upd")));
        EXPECT_FALSE(QFileInfo::exists(work.file("sensor.upd")));
        EXPECT_TRUE(view.lines.contains(cp(ViewerUpdateIgnored)));
        EXPECT_TRUE(view.lines.contains(cp(StationUpdateIgnored)));
        EXPECT_FALSE(core.mirror.UpdatePending);
        QList<QByteArray> expected{configRequest()};
        if (c.requested)
            expected += {request(ServerViewerUpdate), request(ServerStationUpdate)};
        expected.append(logout());
        EXPECT_EQ(exchangeFrames(), expected);
    }
    EXPECT_TRUE(restart.plans.isEmpty());
}

TEST_F(Exchange, AChunkOfNothingButTheWordUpdateIsNotUploaded)
{
    const struct
    {
        const char *what;
        QByteArray second;
        bool sent;
    } cases[] = {
        {"the word alone", " Update\r\n", false},
        {"the word among text", "UPDATE now\r\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray first(250, 'x');
        work.write("ABC1234.cfg", first + c.second);
        server.clearRecords();
        report();
        ASSERT_FALSE(server.uploads().isEmpty());
        EXPECT_EQ(server.uploads().last().content, c.sent ? first + c.second : first);
        EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));
    }
}

// The server holds a configuration for the station while it refuses the
// upload: the operator's copy stays as it was, is offered again and arrives
// whole; the server's copy is taken all the same.
TEST_F(Exchange, UploadThatTheServerRefusesStaysForTheNextReport)
{
    QByteArrayList served = kServerLines;
    served[25] = "ABC1234";
    served[27] = "127.0.0.1:" + QByteArray::number(server.port());
    serve("seconfig/ABC1234.cfg", lines(served));
    const QByteArray copy = "Temp-Min\r\n10\r\n";
    work.write("ABC1234.cfg", copy);
    work.write("AB.cfg", "xy"); // shorter than 3 bytes: never sent
    // login, identifier, version, kind, open, data, close refused
    QList<Reaction> r(6, Reaction::normal());
    r.append(Reaction::answer('C'));
    server.queueReactions(r);
    report();
    EXPECT_TRUE(view.lines.contains(cp(CloseFailed)));
    ASSERT_EQ(server.served().size(), 1);
    EXPECT_TRUE(server.served()[0].delivered);
    QByteArrayList written = kWrittenLines;
    written[25] = served[25];
    written[27] = served[27];
    EXPECT_EQ(work.read("r2arodire.cfg"), lines(written));
    EXPECT_EQ(work.read("ABC1234.cfg"), copy);
    EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
    server.clearRecords();
    report();
    ASSERT_EQ(server.uploads().size(), 1);
    EXPECT_EQ(server.uploads()[0].content, copy);
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));

    // Too short: nothing of it is sent or shown, the download still runs.
    cfg.StationId = "AB";
    server.clearRecords();
    view.lines.clear();
    report();
    EXPECT_EQ(exchangeFrames().first(), frame("seconfig\\AB.cfg", FrameType::FileRequestFrame));
    EXPECT_EQ(work.read("AB.cfg"), "xy");
    EXPECT_FALSE(view.lines.contains(cp(ConfigSend) + "AB" + cp(ConfigSendEnd)));
}

// What a download cut off by a kill left goes when the thread starts: it is
// neither uploaded nor taken, and the station does not report because of it.
TEST_F(Exchange, LeftoverOfACutDownloadIsRemovedAndNeverUploaded)
{
    work.write("r2arodire.recv", lines(kServerLines).left(300));
    thread->threadEnd();
    thread = std::make_unique<MyHERONThread>(core);
    s.AcknowledgeRequest = false;
    thread->threadStart();
    EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
    EXPECT_FALSE(s.AcknowledgeRequest);
    report();
    EXPECT_TRUE(server.uploads().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));
}

// No line of a configuration is that long: a received copy with such a line
// among the 35 that are read is dropped whole, with one log line; the old
// configuration and the live settings stay, the session goes on.
TEST_F(Exchange, DownloadWithALineBeyondTheBoundIsNotTaken)
{
    const int bound = MyHERONThread::MaxConfigLineBytes;
    const struct
    {
        const char *what;
        int index; // of the line in the served file
        QByteArray line;
        int refusedLine; // 0: taken
    } cases[] = {
        {"a key line one byte too long", 0, QByteArray(bound + 1, 'k'), 1},
        {"the server value one byte too long", 27, "127.0.0.1:" + QByteArray(bound - 9, '0'), 28},
        {"a 35th line of 8 KB", 34, QByteArray(8192, 'u'), 35},
        {"a threshold at the bound", 1, QByteArray(bound, '1'), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArrayList served = kServerLines;
        served[25] = "ABC1234";
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        served[c.index] = c.line;
        serve("seconfig/ABC1234.cfg", lines(served));
        work.write("r2arodire.cfg", kOldConfig);
        QFile::remove(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        const StationConfig before = cfg;
        view.lines.clear();
        server.clearRecords();

        report();

        const QByteArray log = readPath(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        const QByteArray text = cp(ConfigLineTooLong) + QByteArray::number(c.refusedLine) + cp(ConfigLineTooLongEnd);
        EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
        EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));
        EXPECT_TRUE(view.lines.contains(cp(LogoutSent)));
        if (c.refusedLine == 0) {
            EXPECT_EQ(work.read("r2arodire.cfg").count("\r\n"), 34);
            EXPECT_EQ(cfg.TempMin, c.line);
            EXPECT_FALSE(log.contains(cp(ConfigLineTooLong)));
            cfg = before;
            continue;
        }
        EXPECT_EQ(work.read("r2arodire.cfg"), kOldConfig);
        EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.save")));
        EXPECT_EQ(cfg, before);
        EXPECT_EQ(log.count(cp(ConfigLineTooLong)), 1) << log.left(2000).constData();
        EXPECT_TRUE(log.contains(" /Sensor/ " + text + "\r\n")) << log.left(2000).constData();
        EXPECT_TRUE(linesInOrder({text, cp(ConfigRestored), cp(ConfigFileDeleted), cp(SaveToConfig),
                                  cp(ViewerUpdateDeleted)}));
        EXPECT_FALSE(view.lines.contains(cp(ConfigActivated)));
    }
}

// No configuration the station can read is larger than its 35 lines at the
// line bound: a download announced larger is cut at its length frame, one
// that grows larger at the data frame that passes the bound; one log line
// says so, r2arodire.cfg and the live settings stay, the session goes on.
TEST_F(Exchange, DownloadBeyondTheSizeOfAConfigurationIsCutAtOnce)
{
    const qint64 bound = MyHERONThread::MaxConfigFileBytes;
    ASSERT_EQ(bound, 143430);
    const struct
    {
        const char *what;
        qint64 served;
        qint64 announcedDelta;
        qint64 shownBytes; // in the text
        int acks;          // the station's "A" answers before its "C"
    } cases[] = {
        {"announced as 1 MB", 1 << 20, 0, 1 << 20, 1},
        // 191 data frames of 752 bytes pass the bound.
        {"announced as 1000 bytes, 200 KB sent", 200000, 1000 - 200000, 191 * 752, 2 + 190},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArrayList served = kServerLines;
        served[25] = "ABC1234";
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        QByteArray file = lines(served);
        file += QByteArray(c.served - file.size(), '#');
        serve("seconfig/ABC1234.cfg", file);
        HeronStandin::ServeOptions o;
        o.lengthDelta = c.announcedDelta;
        server.setServeOptions(o);
        work.write("r2arodire.cfg", kOldConfig);
        QFile::remove(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        const StationConfig before = cfg;
        view.lines.clear();
        server.clearRecords();

        report();

        QByteArray letters;
        for (const HeronStandin::Received &a : server.answers())
            letters.append(a.letter);
        EXPECT_EQ(letters, QByteArray(c.acks, 'A') + 'C');
        ASSERT_EQ(server.served().size(), 1);
        EXPECT_FALSE(server.served()[0].delivered);
        const QByteArray text = cp(FileTooLarge) + QByteArray::number(c.shownBytes) + cp(FileTooLargeLimit) +
                                QByteArray::number(bound) + cp(FileTooLargeName) + "seconfig\\ABC1234.cfg";
        const QByteArray log = readPath(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        EXPECT_TRUE(log.contains(" /Sensor/ " + text + "\r\n")) << log.left(2000).constData();
        EXPECT_TRUE(linesInOrder({text, cp(ConfigKept), cp(ConfigFileDeleted), cp(SaveToConfig),
                                  cp(ViewerUpdateDeleted), cp(LogoutSent)}));
        EXPECT_EQ(work.read("r2arodire.cfg"), kOldConfig);
        EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
        EXPECT_EQ(cfg, before);
        EXPECT_FALSE(thread->state().ReportFailed);
    }
}

// The upload of the identifier copy keeps the pace of every transfer: a
// server whose data frames each take 9 s of the station's clock gets the
// whole copy; one that takes 20 s a frame is cut once the allowance is used
// up, the session takes the failure path, the log says why, and the copy
// stays for the next report.
TEST_F(Exchange, SlowlyAnsweredConfigurationUploadIsCut)
{
    const QByteArray copy = QByteArray(3998, 'c') + "\r\n"; // 16 pieces
    for (const int frameMs : {9000, 20000}) {
        SCOPED_TRACE(frameMs);
        const bool cut = frameMs > TCPUtils::FramePaceMs;
        work.write("ABC1234.cfg", copy);
        work.write("r2arodire.cfg", kOldConfig);
        QFile::remove(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        server.clearRecords();
        view.lines.clear();
        int dataFrames = 0;
        server.setObserver([&](const HeronStandin::Received &r) {
            if (!r.isAnswer && r.type == FrameType::DataFrame) {
                ++dataFrames;
                clock.advance(frameMs);
            }
        });

        report();
        server.setObserver(nullptr);

        const QByteArray log = readPath(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
        EXPECT_EQ(thread->state().ReportFailed, cut);
        EXPECT_EQ(work.read("r2arodire.cfg"), kOldConfig);
        EXPECT_FALSE(s.UpdateFileLocked);
        if (!cut) {
            EXPECT_EQ(dataFrames, 16);
            ASSERT_EQ(server.uploads().size(), 1);
            EXPECT_EQ(server.uploads()[0].content, copy);
            EXPECT_FALSE(QFileInfo::exists(work.file("ABC1234.cfg")));
            EXPECT_FALSE(log.contains(cp(FileTooSlow))) << log.constData();
            EXPECT_TRUE(view.lines.contains(cp(LogoutSent)));
            continue;
        }
        // Each data frame takes 20 s and earns 10.26 s: the 70 s of the
        // allowance and the frame under way last 8 of them.
        EXPECT_EQ(dataFrames, 8);
        EXPECT_TRUE(server.uploads().isEmpty());
        EXPECT_EQ(work.read("ABC1234.cfg"), copy);
        EXPECT_EQ(log.count(cp(FileTooSlow)), 1) << log.constData();
        EXPECT_TRUE(view.lines.contains(cp(NoConnection) + "127.0.0.1:" + cfg.ServerPort));
        EXPECT_FALSE(view.lines.contains(cp(LogoutSent)));
    }
}

// A viewer's configuration saved while the download runs (its save holds
// the semaphore, as the viewer connection does) is what r2arodire.cfg holds
// after a download that fails, and the live settings agree; after one that
// is taken the server's configuration stands.
TEST_F(Exchange, ViewerConfigurationSavedDuringAFailedDownloadStays)
{
    const struct
    {
        const char *what;
        QByteArray served; // empty: not on the server
        HeronStandin::ServeOptions options;
        bool taken = false;
    } cases[] = {
        {"refused request", {}, {}},
        {"wrong length", lines(kServerLines), [] {
             HeronStandin::ServeOptions o;
             o.lengthDelta = 3;
             return o;
         }()},
        {"first line one NUL", QByteArray("\0\r\nTemp-Max\r\n99\r\n", 17), {}},
        {"taken", {}, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(files() + QStringLiteral("/seconfig/ABC1234.cfg"));
        QByteArrayList served = kServerLines;
        served[25] = "ABC1234";
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        if (c.taken)
            serve("seconfig/ABC1234.cfg", lines(served));
        else if (!c.served.isEmpty())
            serve("seconfig/ABC1234.cfg", c.served);
        server.setServeOptions(c.options);
        cfg.TempMax = "28";
        work.write("r2arodire.cfg", StationConfigFileBytes(cfg));
        QByteArray viewerSaved;
        server.setObserver([&](const HeronStandin::Received &r) {
            if (r.isAnswer || r.type != FrameType::FileRequestFrame || r.payload != "seconfig\\ABC1234.cfg")
                return;
            // The viewer's Temp-Max 33, while the station waits for the
            // answer to its request.
            SharedDataLock lock(core.semaphore);
            cfg.TempMax = "33";
            SaveStationConfigFiles(
                cfg, [this] { return cfg.ComPort; }, notices);
            viewerSaved = work.read("r2arodire.cfg");
        });
        const QByteArray before = work.read("r2arodire.cfg");

        report();
        server.setObserver(nullptr);

        ASSERT_TRUE(viewerSaved.contains("Temp-Max\r\n33\r\n")) << viewerSaved.constData();
        EXPECT_TRUE(notices.shown.isEmpty());
        if (c.taken) {
            QByteArrayList written = kWrittenLines;
            written[25] = served[25];
            written[27] = served[27];
            EXPECT_EQ(work.read("r2arodire.cfg"), lines(written));
            EXPECT_EQ(cfg.TempMax, "30");
            EXPECT_TRUE(view.lines.contains(cp(ConfigActivated)));
        } else {
            EXPECT_EQ(work.read("r2arodire.cfg"), viewerSaved);
            EXPECT_EQ(cfg.TempMax, "33");
            EXPECT_TRUE(linesInOrder({cp(ConfigKept), cp(ConfigFileDeleted), cp(SaveToConfig)}));
        }
        EXPECT_EQ(work.read("r2arodire.save"), before);
        EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
        EXPECT_FALSE(s.UpdateFileLocked);
        QFile::remove(work.file("r2arodire.save"));
        QFile::remove(work.file("ABC1234.cfg"));
    }
}

// A server that sends one byte a second inside a data frame of the
// configuration download: past the frame's bound the session ends through
// the failure path, r2arodire.cfg is back as it was, and the next pass
// reports again.
TEST_F(Exchange, ServerThatTricklesInsideADataFrameEndsTheSession)
{
    TricklingHeronServer::Options options;
    options.onByte = [this] { clock.advance(1000); };
    TricklingHeronServer trickler(options);
    ASSERT_TRUE(trickler.start());
    cfg.ServerPort = QByteArray::number(trickler.port());
    work.write("r2arodire.cfg", kOldConfig);
    const StationConfig before = cfg;
    s.ImmediateReport = true;
    const quint32 start = clock.tickCount();

    EXPECT_TRUE(thread->step());

    // The bound, the 5 s of the failure path and the pauses before the texts.
    const qint64 elapsed = qint64(quint32(clock.tickCount() - start));
    EXPECT_GE(elapsed, TCPUtils::FrameTimeoutMs);
    EXPECT_LE(elapsed, TCPUtils::FrameTimeoutMs + 5000 + 2000);
    ASSERT_TRUE(waitReal([&] { return trickler.trickledBeforeClose(1) >= 0; }));
    EXPECT_GE(trickler.trickledBeforeClose(1), 10);
    EXPECT_LE(trickler.trickledBeforeClose(1), 20);
    EXPECT_EQ(trickler.requests(), QList<QByteArray>{"seconfig\\ABC1234.cfg"});

    EXPECT_TRUE(thread->state().ReportFailed);
    EXPECT_FALSE(s.UpdateFileLocked);
    EXPECT_EQ(work.read("r2arodire.cfg"), kOldConfig);
    EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.save")));
    EXPECT_FALSE(QFileInfo::exists(work.file("r2arodire.recv")));
    EXPECT_EQ(cfg, before);
    const QByteArray log = readPath(logDir.filePath(QStringLiteral("zav_sensor_logfile.log")));
    EXPECT_EQ(log.count(cp(FrameTooSlow)), 1) << log.constData();
    EXPECT_TRUE(linesInOrder({cp(ConfigKept), cp(ConfigFileDeleted), cp(SaveToConfig), cp(FrameTooSlow) + "16" + cp(TooSlowEnd),
                              cp(NoConnection) + "127.0.0.1:" + cfg.ServerPort}));
    EXPECT_FALSE(view.lines.contains(cp(ViewerUpdateDeleted)));
    EXPECT_FALSE(view.lines.contains(cp(LogoutSent)));

    // The next pass connects again.
    EXPECT_TRUE(thread->step());
    EXPECT_EQ(trickler.connections(), 2);
}

// The new r2arodire.cfg cannot be written (the disk is full): the saved one
// goes back in its place, the station is never left without it.
TEST_F(Exchange, CopyThatCannotBeWrittenPutsTheSavedConfigurationBack)
{
    const QString disk = work.file(QStringLiteral("disk"));
    ScopedTmpfs tmpfs(disk, 64 * 1024);
    if (!tmpfs.mounted())
        GTEST_SKIP() << tmpfs.whyNot().toStdString();
    ASSERT_TRUE(QDir::setCurrent(disk));
    ScopedWorkDir::writeTo(QStringLiteral("r2arodire.cfg"), kOldConfig);
    serve("seconfig/ABC1234.cfg", lines(kServerLines));
    // Fill the disk, then leave room for the received copy alone.
    ASSERT_TRUE(tmpfs.fill());
    ASSERT_TRUE(QFile::resize(QStringLiteral("filler"), QFileInfo(QStringLiteral("filler")).size() - 4096));
    ASSERT_EQ(tmpfs.freeBytes(), 4096);

    report();

    EXPECT_EQ(work.read(QStringLiteral("disk/r2arodire.cfg")), kOldConfig);
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("r2arodire.save")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("ABC1234.cfg")));
    EXPECT_TRUE(linesInOrder({cp(ConfigDownloaded) + "seconfig\\ABC1234.cfg" + cp(ConfigDownloadedEnd),
                              cp(ConfigRestored), cp(ConfigFileDeleted), cp(SaveToConfig),
                              cp(ConfigActivated)}));
    EXPECT_FALSE(view.lines.contains(cp(ConfigTaken)));
    QDir::setCurrent(work.path());
}

// r2arodire.save cannot take the old file's place (a folder of that name);
// a copy that then fails must not remove r2arodire.cfg either.
TEST_F(Exchange, FailedCopyWithoutASavedFileKeepsTheConfiguration)
{
    const QString disk = work.file(QStringLiteral("disk"));
    ScopedTmpfs tmpfs(disk, 64 * 1024);
    if (!tmpfs.mounted())
        GTEST_SKIP() << tmpfs.whyNot().toStdString();
    ASSERT_TRUE(QDir::setCurrent(disk));
    ScopedWorkDir::writeTo(QStringLiteral("r2arodire.cfg"), kOldConfig);
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("r2arodire.save/inside")));
    serve("seconfig/ABC1234.cfg", lines(kServerLines));
    ASSERT_TRUE(tmpfs.fill());
    ASSERT_TRUE(QFile::resize(QStringLiteral("filler"), QFileInfo(QStringLiteral("filler")).size() - 4096));
    ASSERT_EQ(tmpfs.freeBytes(), 4096);
    report();
    EXPECT_EQ(work.read(QStringLiteral("disk/r2arodire.cfg")), kOldConfig);
    EXPECT_TRUE(view.lines.contains(cp(ConfigRestored)));
    QDir::setCurrent(work.path());
}

// --- Updates -----------------------------------------------------------------

class Updates : public Exchange
{
protected:
    void SetUp() override
    {
        Exchange::SetUp();
        // The server's configuration asks for the updates and keeps the
        // station at this server.
        QByteArrayList served = kServerLines;
        served[25] = "ABC1234";
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        serve("seconfig/ABC1234.cfg", lines(served));
    }

    bool restarted() const
    {
        return !restart.plans.isEmpty() || s.RebootAfterUpdate.load() || view.timer1Changes.contains(-10);
    }
};

TEST_F(Updates, ViewerUpdateReplacesTheViewerWithoutARestart)
{
    serve("seconfig/Fernblick.upd", "the new viewer");
    work.write("Fernblick.exe", "the old viewer");
    work.write("Fernblick.old", "an older viewer");
    report();
    EXPECT_EQ(work.read("Fernblick.exe"), "the new viewer");
    EXPECT_EQ(work.read("Fernblick.old"), "the old viewer");
    EXPECT_FALSE(QFileInfo::exists(work.file("remote.upd")));
    EXPECT_TRUE(QFileInfo(work.file("Fernblick.exe")).isExecutable());
    EXPECT_TRUE(linesInOrder({cp(ViewerUpdateLoading), cp("-->Datei remote.upd empfangen"),
                              cp(ViewerProgramDeleted), cp(ViewerUpdateRenamed), cp(StationUpdateIgnored),
                              cp(StationUpdateDropped)}));
    EXPECT_FALSE(core.mirror.UpdatePending);
    EXPECT_FALSE(restarted());
    EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Running);
    EXPECT_EQ(exchangeFrames().mid(1),
              (QList<QByteArray>{request(ServerViewerUpdate), request(ServerStationUpdate), logout()}));
}

TEST_F(Updates, StationUpdateThatDeliversNothingMakesNoRestart)
{
    const struct
    {
        const char *what;
        HeronStandin::ServeOptions options;
    } cases[] = {
        {"empty file", {}},
        {"wrong length", [] {
             HeronStandin::ServeOptions o;
             o.lengthDelta = 1;
             return o;
         }()},
        {"stops half-way", [] {
             HeronStandin::ServeOptions o;
             o.chunkSize = 100;
             o.dropAfterFrames = 3;
             return o;
         }()},
        {"announced beyond the bound", [] {
             HeronStandin::ServeOptions o;
             o.lengthDelta = TCPUtils::MaxReceivedFileBytes;
             return o;
         }()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const bool broken = c.options.lengthDelta != 0 || c.options.dropAfterFrames > 0;
        serve("seconfig/Klimawarte.upd", broken ? QByteArray(1000, 'k') : QByteArray());
        server.setServeOptions(cp(ServerStationUpdate), c.options);
        view.lines.clear();
        report();
        EXPECT_FALSE(QFileInfo::exists(work.file("sensor.upd")));
        EXPECT_FALSE(QFileInfo::exists(work.file("Klimawarte.upd")));
        EXPECT_TRUE(linesInOrder({cp(StationUpdateLoading), cp(StationUpdateDropped)}));
        if (c.options.lengthDelta >= TCPUtils::MaxReceivedFileBytes) {
            // Refused at its announced length, before any data is stored.
            EXPECT_TRUE(view.lines.contains(cp(FileTooLarge) + QByteArray::number(1000 + TCPUtils::MaxReceivedFileBytes) +
                                            cp(FileTooLargeLimit) + QByteArray::number(TCPUtils::MaxReceivedFileBytes) +
                                            cp(FileTooLargeName) + "sensor.upd"));
        }
        EXPECT_FALSE(core.mirror.UpdatePending);
        EXPECT_FALSE(restarted());
        EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Running);
        ASSERT_FALSE(server.served().isEmpty());
        EXPECT_FALSE(server.served().last().delivered && broken);
    }
}

TEST_F(Updates, StationUpdateFollowedByARefusedLogoutWaitsForTheNextReport)
{
    serve("seconfig/Klimawarte.upd", "the new station program");
    // login, identifier, version, kind, configuration, viewer, station,
    // logout refused
    QList<Reaction> r(7, Reaction::normal());
    r.append(Reaction::answer('C'));
    server.queueReactions(r);
    report();
    EXPECT_TRUE(view.lines.contains(cp(LogoutFailed)));
    EXPECT_TRUE(core.mirror.UpdatePending); // survives the refused logout
    EXPECT_EQ(work.read("Klimawarte.upd"), "the new station program");
    EXPECT_FALSE(restarted());
    EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Running);

    // The next report brings no update: it clears the pending one.
    QFile::remove(files() + QStringLiteral("/seconfig/Klimawarte.upd"));
    report();
    EXPECT_FALSE(core.mirror.UpdatePending);
    EXPECT_FALSE(restarted());
    EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Running);
}

TEST_F(Updates, StationUpdateEndsInTheRestart)
{
    const struct
    {
        const char *what;
        QByteArray displayName; // as the service host stores it
        QByteArray control;     // CONTROL afterwards
        QByteArray servedId = "ABC1234";
        bool copyWritten = true;
        const char *blockedCopy = nullptr; // a folder of that name stands in the copy's place
    } cases[] = {
        {"under the service host", QByteArray("zav_sensor\0", 11), "UPDATE"},
        {"on the desktop", QByteArray("Klimawarte\0", 11), "RUNNING"},
        // An identifier that names no plain file of the working directory is
        // not taken: the copy goes under the identifier in force.
        {"identifier with a path refused", QByteArray("Klimawarte\0", 11), "RUNNING", "AB/1234"},
        // The copy cannot be written: the restart goes on after the message.
        {"identifier copy not written", QByteArray("Klimawarte\0", 11), "RUNNING", "XYZ9876", false,
         "XYZ9876.cfg"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.blockedCopy) {
            ASSERT_TRUE(QDir().mkpath(work.file(QString::fromLatin1(c.blockedCopy))));
        }
        QByteArrayList served = kServerLines;
        served[25] = c.servedId;
        served[27] = "127.0.0.1:" + QByteArray::number(server.port());
        serve("seconfig/ABC1234.cfg", lines(served));
        cfg.StationId = "ABC1234";
        notices.shown.clear();
        ASSERT_TRUE(service.writeValue("DISPLAYNAME", c.displayName));
        ASSERT_TRUE(service.writeValue("CONTROL", "RUNNING"));
        // A program for this machine as far as its header tells: the head
        // of this test program.
        QFile self(QStringLiteral("/proc/self/exe"));
        ASSERT_TRUE(self.open(QIODevice::ReadOnly));
        const QByteArray program = self.read(3000);
        serve("seconfig/Klimawarte.upd", program);
        work.write("sensor.upd", "left from before");
        // The report takes 1.3 s of pauses: the restart comes at 23:58:00.
        clock.setLocalDateTime(QDateTime(QDate(2024, 12, 3), QTime(23, 57, 58, 700)));
        restart.plans.clear();
        restart.updates.clear();
        restart.executable.clear();
        view.timer1Changes.clear();
        s.RebootAfterUpdate = false;
        s.TerminateRequested = false;
        thread->threadEnd();
        thread = std::make_unique<MyHERONThread>(core);
        thread->threadStart();
        clock.setLocalDateTime(QDateTime(QDate(2024, 12, 3), QTime(23, 57, 58, 700)));
        view.lines.clear();

        report();
        // (The message of a copy that cannot be written adds its 50 ms pause.)
        ASSERT_GE(clock.localDateTime().time(), QTime(23, 58, 0));
        ASSERT_LT(clock.localDateTime().time(), QTime(23, 58, 1));

        EXPECT_TRUE(linesInOrder({cp(StationUpdateLoading), cp("-->Datei sensor.upd empfangen"),
                                  cp(StationWaitingDeleted), cp(StationUpdateRenamed), cp(LogoutSent)}));
        EXPECT_EQ(work.read("Klimawarte.upd"), program);
        EXPECT_FALSE(QFileInfo::exists(work.file("sensor.upd")));
        EXPECT_TRUE(core.mirror.UpdatePending);

        // The scripts as a Windows service host finds them, byte for byte.
        const QByteArray d = dir();
        EXPECT_EQ(work.read("restart.bat"), "cd " + d + "\r\ndel " + d +
                                                "\\Klimawarte.exe\r\nren Klimawarte.upd Klimawarte.exe\r\n" + d +
                                                "\\Klimawarte.exe\r\nexit\r\n");
        EXPECT_EQ(work.read("jobat.bat"), "AT 00:01:36 /interactive \"" + d + "\\restart.bat\"\r\n");
        // The identifier copy for the new program's first report.
        if (c.copyWritten) {
            EXPECT_EQ(work.read("ABC1234.cfg"), StationConfigFileBytes(cfg));
            EXPECT_TRUE(notices.shown.isEmpty());
        } else {
            EXPECT_EQ(notices.shown, QByteArrayList{cp(RestartWriteError)});
        }
        EXPECT_EQ(service.readValue("CONTROL").value_or(QByteArray()), c.control);

        // The restart is scheduled with the whole, executable update.
        ASSERT_EQ(restart.plans.size(), 1);
        EXPECT_EQ(restart.plans[0].directory, QDir::currentPath());
        EXPECT_EQ(restart.plans[0].update, QStringLiteral("Klimawarte.upd"));
        EXPECT_EQ(restart.plans[0].executable, QCoreApplication::applicationFilePath());
        EXPECT_EQ(restart.plans[0].pid, QCoreApplication::applicationPid());
        EXPECT_EQ(restart.plans[0].delayMs, 1234);
        EXPECT_EQ(restart.updates[0], program);
        EXPECT_TRUE(restart.executable[0]);
        EXPECT_EQ(restart.plans[0].digest,
                  QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex());

        // The thread ends; the supervision tick comes in 10 ms and ends the
        // program.
        EXPECT_TRUE(s.TerminateRequested);
        EXPECT_TRUE(s.RebootAfterUpdate);
        EXPECT_EQ(view.timer1Changes, c.copyWritten ? QList<int>({-10}) : QList<int>({0, 1, -10}));
        EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Finished);
        EXPECT_FALSE(thread->step());
        thread->threadEnd();
        EXPECT_EQ(s.ActiveThreadCount.load(), 0);
        QFile::remove(work.file("Klimawarte.upd"));
        QFile::remove(work.file("ABC1234.cfg"));
        if (c.blockedCopy)
            QDir().rmdir(work.file(QString::fromLatin1(c.blockedCopy)));
        core.mirror.UpdatePending = false;
    }
}

// The same update as one that gave the previous program back is dropped
// with a log line, as one that is no program: no restart, the station goes
// on.
TEST_F(Updates, StationUpdateThatCouldNotRunBeforeIsDropped)
{
    QFile self(QStringLiteral("/proc/self/exe"));
    ASSERT_TRUE(self.open(QIODevice::ReadOnly));
    const QByteArray program = self.read(4096); // passes the header check
    const QByteArray digest = QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex();
    work.write(UpdateFallback::FailedUpdateFile,
               "program=/opt/klima/klimawarte\nsignal=11\nupdate=" + digest + "\n");
    serve("seconfig/Klimawarte.upd", program);
    report();
    EXPECT_TRUE(linesInOrder({cp(StationUpdateLoading), cp(StationUpdateRenamed), cp(LogoutSent)}));
    EXPECT_FALSE(QFileInfo::exists(work.file("Klimawarte.upd")));
    EXPECT_FALSE(core.mirror.UpdatePending);
    EXPECT_FALSE(restarted());
    EXPECT_FALSE(QFileInfo::exists(work.file("restart.bat")));
    EXPECT_EQ(thread->phase(), MyHERONThread::Phase::Running);
    QFile logFile(QDir(logDir.path()).filePath(QStringLiteral("zav_sensor_logfile.log")));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QByteArray log = logFile.readAll();
    EXPECT_EQ(log.count(" /Sensor/ " + cp(UpdateFailedBefore) + "\r\n"), 1) << log.constData();
    EXPECT_EQ(cp(UpdateFailedBefore), cp("Update Klimawarte.upd lief schon einmal nicht: verworfen, "
                                         "bisheriges Programm l\u00e4uft weiter"));
}

TEST(UpdateScripts, JobAtSchedulesTwoHundredSixteenSecondsLater)
{
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    const struct
    {
        QTime now;
        const char *at;
    } cases[] = {
        {QTime(23, 58, 0), "00:01:36"},
        {QTime(12, 0, 0), "12:03:36"},
        {QTime(23, 56, 24), "00:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UpdateRestart::JobAtBatch("C:\\Station", c.now),
                  QByteArray("AT ") + c.at + " /interactive \"C:\\Station\\restart.bat\"\r\n");
    EXPECT_EQ(UpdateRestart::RestartBatch("C:\\Station"),
              "cd C:\\Station\r\ndel C:\\Station\\Klimawarte.exe\r\nren Klimawarte.upd Klimawarte.exe\r\n"
              "C:\\Station\\Klimawarte.exe\r\nexit\r\n");
}
