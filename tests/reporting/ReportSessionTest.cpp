#include "HeronStandin.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/LoginFrame.h"
#include "common/Text8.h"
#include "reporting/MyHERONThread.h"
#include "reporting/ReportConnection.h"
#include "reporting/ReportSession.h"
#include "reporting/ReportThreadState.h"
#include "reporting/ReportingTexts.h"
#include "reporting/ServerTransport.h"
#include "reporting/TCPUtils.h"
#include "station/LogFile.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"
#include "station/VersionText.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/ScopedTmpfs.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

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

QByteArray text(const QByteArray &payload)
{
    return frame(payload, FrameType::TextFrame);
}

// The frames of one file as the station sends it: open, 250-byte pieces,
// an empty close.
QList<QByteArray> fileFrames(const QByteArray &serverName, const QByteArray &content)
{
    QList<QByteArray> out{frame(serverName, FrameType::OpenFrame)};
    for (qsizetype at = 0; at < content.size(); at += 250)
        out.append(frame(content.mid(at, 250), FrameType::DataFrame));
    out.append(frame({}, FrameType::CloseFrame));
    return out;
}

QByteArray bytes(int n, char seed)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(seed + i % 23);
    return b;
}

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// The reporting thread driven pass by pass against the stand-in server on
// loopback, on a manual clock (Tuesday 3 December 2024, 14:05:09 after the
// start wait), German settings. The station log is kept out of the working
// directory unless a test wants it sent.
class ReportSession : public ::testing::Test
{
protected:
    static constexpr quint32 kStartTick = 1000000;

    ScopedWorkDir work;
    QTemporaryDir logDir;
    ManualClock clock{kStartTick, QDateTime(QDate(2024, 12, 3), QTime(14, 4, 59))};
    ScopedLocale locale{QLocale(QLocale::German, QLocale::Germany)};
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    StationState &s = core.state;
    QTemporaryDir serverDir;
    HeronStandin server;
    std::unique_ptr<MyHERONThread> thread;

    // What the stand-in saw when each frame arrived (on its thread).
    struct Seen
    {
        QByteArray raw;
        bool transferBusy;
        std::map<QString, bool> exists; // tracked local files
    };
    mutable std::mutex seenMutex;
    QList<Seen> seen;
    QStringList tracked;
    std::function<void(const HeronStandin::Received &)> onFrame;

    void SetUp() override
    {
        core.platform().workingDirectory = logDir.path();
        core.config.StationId = "ABC1234";
        core.config.ServerHost = "127.0.0.1";
        core.config.AlarmInterval = "4";
        server.setUploadDir(serverDir.path());
        server.setServeDir(serverDir.path());
        server.setObserver([this](const HeronStandin::Received &r) {
            if (r.isAnswer)
                return;
            Seen one{r.raw, s.TransferBusy.load(), {}};
            for (const QString &name : tracked)
                one.exists[name] = QFileInfo::exists(work.file(name));
            {
                std::lock_guard lock(seenMutex);
                seen.append(one);
            }
            if (onFrame)
                onFrame(r);
        });
        ASSERT_TRUE(server.start());
        core.config.ServerPort = QByteArray::number(server.port());
        newThread();
    }

    void TearDown() override
    {
        thread->threadEnd();
        server.stop();
        core.platform().workingDirectory = QString();
    }

    // A thread as after the start, with nothing due by time.
    void newThread(int readLimitMs = -1)
    {
        if (thread)
            thread->threadEnd();
        thread = std::make_unique<MyHERONThread>(core);
        thread->transport().ReadTimeoutLimitMs = readLimitMs;
        s.LastReportTime = clock.tickSeconds() + 10; // the start wait
        thread->threadStart();
        view.lines.clear();
        view.intervallLeft.clear();
        view.reportCommandsEnabled.clear();
    }

    qint64 pass()
    {
        const qint64 before = clock.totalSlept();
        EXPECT_TRUE(thread->step());
        return clock.totalSlept() - before;
    }

    // A pass that reports at once, until the stand-in saw the connection
    // closed; onFrame is cleared. The time slept.
    qint64 reportNow()
    {
        s.ImmediateReport = true;
        const qint64 slept = pass();
        onFrame = nullptr;
        server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });
        return slept;
    }

    QList<QByteArray> rawFrames() const
    {
        QList<QByteArray> out;
        for (const HeronStandin::Received &r : server.frames())
            out.append(r.raw);
        return out;
    }

    QList<Seen> seenFrames() const
    {
        std::lock_guard lock(seenMutex);
        return seen;
    }

    QByteArray localLog() const
    {
        QFile f(core.log().path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The step markers from the last "Connect" on.
    QList<QByteArray> markers() const
    {
        const qsizetype at = view.intervallLeft.lastIndexOf(cp(MarkerConnect));
        return at < 0 ? QList<QByteArray>{} : view.intervallLeft.mid(at);
    }

    static QList<QByteArray> cps(std::initializer_list<const char *> texts)
    {
        QList<QByteArray> out;
        for (const char *t : texts)
            out.append(cp(t));
        return out;
    }

    QList<QByteArray> head(const char *kind) const
    {
        return {LoginFrame::frame(), text("ABC1234"), text(MyHERONThread::ReportVersionText()), text(kind)};
    }

    // The exchange of a session with no identifier copy to send, no
    // configuration on the server and no update request: one refused file
    // request, its texts and markers.
    static QByteArray configRequest()
    {
        return frame("seconfig\\ABC1234.cfg", FrameType::FileRequestFrame);
    }
    static QList<QByteArray> quietExchangeLines()
    {
        QList<QByteArray> lines = cps({SaveDeleted, ConfigToSave});
        lines.append(cp(FileRequestSent) + "seconfig\\ABC1234.cfg" + cp(FileRequestSentEnd));
        lines += cps({NoConfigDownloaded, ConfigKept, ConfigFileDeleted, SaveToConfig, ViewerUpdateDeleted,
                      ViewerUpdateIgnored, ViewerUpdateDeleted, StationUpdateDeleted, StationUpdateIgnored,
                      StationUpdateDropped});
        return lines;
    }
    static QList<QByteArray> quietExchangeMarkers()
    {
        return cps({MarkerConfigRead1, MarkerUpdate1, MarkerUpdate1Read, MarkerUpdate2, MarkerUpdate2Read});
    }
};

} // namespace

// The session through its own interface, with its own state and transport:
// the owner's two steps decide how it ends. A failed exchange takes the
// failure path without the logout; a restart that ran ends the owner before
// the report counts as complete.
TEST_F(ReportSession, TheRunnersStepsDecideHowTheSessionEnds)
{
    struct Case
    {
        bool exchange;
        bool restart;
    };
    for (const Case c : {Case{true, false}, Case{true, true}, Case{false, false}}) {
        SCOPED_TRACE(testing::Message() << "exchange " << c.exchange << " restart " << c.restart);
        ServerTransport transport(core, nullptr);
        ReportConnection link(transport);
        ReportThreadState state;
        int exchanges = 0;
        int restarts = 0;
        ReportSessionRunner runner(core, state, link,
                                   {[&](TCPUtils::TransferBound &) { return ++exchanges, c.exchange; },
                                    [&] { return ++restarts, c.restart; },
                                    {}});
        const qsizetype before = server.frames().size();

        EXPECT_EQ(runner.run(), c.exchange && c.restart);
        transport.DisconnectServer();
        server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });

        EXPECT_EQ(exchanges, 1);
        EXPECT_EQ(restarts, c.exchange ? 1 : 0);
        EXPECT_EQ(state.ReportFailed, !c.exchange);
        EXPECT_EQ(state.FirstPass, !(c.exchange && !c.restart));
        EXPECT_FALSE(s.UpdateFileLocked);
        const QList<QByteArray> frames = rawFrames().mid(before);
        ASSERT_FALSE(frames.isEmpty());
        EXPECT_EQ(frames.mid(0, 4), head(KindData));
        EXPECT_EQ(frames.last() == text(cp(LogoutText)), c.exchange);
    }
}

TEST(VersionText, AboutBoxFormAndTheServerText)
{
    const QByteArray label = VersionText::versionsLabel();
    const QRegularExpression form(
        QStringLiteral("^Vers\\.(\\d+)\\.(\\d+)\\.(\\d+)//(\\d\\d\\.\\d\\d\\.\\d{4})$"));
    const auto m = form.match(QString::fromLatin1(label));
    ASSERT_TRUE(m.hasMatch()) << label.constData();
    EXPECT_TRUE(QDate::fromString(m.captured(4), QStringLiteral("dd.MM.yyyy")).isValid());
    EXPECT_EQ(MyHERONThread::ReportVersionText(), "*D2AVid:" + label + "*");
}

TEST_F(ReportSession, NothingWaitingIsLoginIdentifierVersionDataLogout)
{
    s.ImmediateReport = true;
    const TickSeconds passTick = clock.tickSeconds();
    EXPECT_EQ(pass(), 3 * 100 + 2 * 500); // the fixed pauses, no failure wait

    QList<QByteArray> expected = head(KindData);
    expected.append(configRequest());
    expected.append(QByteArray::fromHex("096c1b2a454e44452a")); // "*ENDE*"
    EXPECT_EQ(rawFrames(), expected);
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_TRUE(server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); }));

    EXPECT_EQ(view.lines, cps({DisconnectIfConnected, LoginOk, StationIdSent, LoginOk, KindSent}) +
                              quietExchangeLines() + cps({LogoutSent, DisconnectIfConnected}));
    EXPECT_EQ(markers(), cps({MarkerConnect, MarkerLogin, MarkerStation, MarkerVersion, MarkerKind}) +
                             quietExchangeMarkers() + cps({MarkerLogout}));
    EXPECT_EQ(view.reportCommandsEnabled, (QList<bool>{false, true, true}));
    EXPECT_EQ(view.windowRestores, 1);
    EXPECT_TRUE(view.signals_.isEmpty());

    // The report is complete.
    EXPECT_FALSE(thread->state().FirstPass);
    EXPECT_FALSE(thread->state().ReportDue);
    EXPECT_FALSE(thread->state().ReportFailed);
    EXPECT_FALSE(s.ImmediateReport);
    EXPECT_FALSE(s.TransferBusy);
    EXPECT_EQ(s.LastReportTime, passTick + 0.3L); // read at the due test, after three pauses
    EXPECT_EQ(core.semaphore.available(), 1);
    const QByteArray log = localLog();
    qsizetype at = 0;
    for (const char *line : {LogImmediateActive, LogConnecting, LogNextReportTime, LogDisconnecting,
                             LogImmediateReset, LogAcknowledgeReset}) {
        const qsizetype found = log.indexOf(cp(line), at);
        EXPECT_GE(found, at) << line;
        at = std::max(at, found);
    }

    // The next pass has nothing to do.
    EXPECT_EQ(pass(), 1000);
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(ReportSession, FirstReportSendsErrorRecordAndLogFilesByteForByte)
{
    core.platform().workingDirectory =
        QString(); // the station log lies in the working directory and goes too
    const std::map<QString, QByteArray> files{
        {"ABC12342.E0R", "03-12-24;14:05:09;001-001;  A L A R M  am Parameter;r;;;;21;ABC1234-001;\r\n"},
        {"abc12342.e1r", "03-12-24;14:05:10;001-005;  A L A R M  am Parameter;r;;;;21;ABC1234-001;\r\n"},
        {"ABC12341.AMS", bytes(500, 'a')},
        {"ABC12342.DMS", bytes(501, 'A')},
        {"a.log", QByteArray()},
    };
    for (const auto &[name, content] : files)
        work.write(name, content);
    QDir(work.path()).mkdir(QStringLiteral("old.log")); // a directory is no log file
    work.write(QStringLiteral("ABC12342.E0RX"), "not an error file");
    tracked = QStringList{"ABC12342.E0R", "abc12342.e1r", "ABC12341.AMS", "ABC12342.DMS", "a.log"};
    thread->state().PendingAlarmFlags = AlarmBit::TempHigh;

    EXPECT_EQ(pass(), 3 * 100 + 6 * 500 + 2 * 500);
    ASSERT_FALSE(thread->state().ReportFailed);

    // The station log as it was sent: everything logged up to the due test.
    const QList<HeronStandin::Upload> uploads = server.uploads();
    ASSERT_EQ(uploads.size(), 6);
    const QByteArray sentLog = uploads.last().content;
    EXPECT_TRUE(sentLog.contains(cp(LogConnecting)));
    EXPECT_TRUE(sentLog.endsWith(cp(LogNextReportTime) + "\r\n"));

    QList<QByteArray> expected = head(KindError);
    const QList<std::pair<QByteArray, QByteArray>> order{
        {"data\\ABC12342.E0R", files.at("ABC12342.E0R")}, {"data\\abc12342.e1r", files.at("abc12342.e1r")},
        {"data\\ABC12341.AMS", files.at("ABC12341.AMS")}, {"data\\ABC12342.DMS", files.at("ABC12342.DMS")},
        {"sensorlogfile\\ABC1234.log", QByteArray()},     {"sensorlogfile\\ABC1234.log", sentLog},
    };
    for (const auto &[name, content] : order)
        expected += fileFrames(name, content);
    expected.append(configRequest());
    expected.append(text("*ENDE*"));
    EXPECT_EQ(rawFrames(), expected);
    for (int i = 0; i < order.size(); ++i) {
        EXPECT_EQ(uploads[i].name, order[i].first);
        EXPECT_EQ(uploads[i].content, order[i].second);
    }

    // Each file went exactly when the server had accepted its close frame:
    // it was there when its close frame arrived and gone at the next frame.
    const QList<Seen> frames = seenFrames();
    int file = 0;
    for (int i = 0; i < frames.size() && file < tracked.size(); ++i) {
        if (frames[i].raw != frame({}, FrameType::CloseFrame))
            continue;
        const QString name = tracked[file++];
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(frames[i].exists.at(name));
        ASSERT_LT(i + 1, frames.size());
        EXPECT_FALSE(frames[i + 1].exists.at(name));
    }
    EXPECT_EQ(file, tracked.size());
    for (const QString &name : tracked)
        EXPECT_FALSE(QFileInfo::exists(work.file(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo(work.file("old.log")).isDir());
    EXPECT_TRUE(QFileInfo::exists(work.file("ABC12342.E0RX")));
    // The log now holds only what was written after it was sent.
    EXPECT_TRUE(localLog().startsWith(LocaleFormat::shortDate(clock.localDateTime().date())));
    EXPECT_TRUE(localLog().contains(cp(LogDisconnecting)));
    EXPECT_FALSE(localLog().contains(cp(LogConnecting)));

    // Records wait from the accepted identifier to the end of the log files.
    ASSERT_EQ(frames.size(), expected.size());
    for (int i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].transferBusy, i >= 2 && i < frames.size() - 2);
    }
    EXPECT_FALSE(s.TransferBusy);

    // Markers and texts of the files.
    QList<QByteArray> m =
        cps({MarkerConnect, MarkerLogin, MarkerStation, MarkerVersion, MarkerKind, MarkerErrorFiles});
    for (int i = 0; i < 2; ++i)
        m += cps({MarkerErrorOpen, MarkerErrorData, MarkerErrorClose});
    m += cps({MarkerMeasureFiles});
    for (int pieces : {2, 3}) {
        m += cps({MarkerMeasureOpen, MarkerMeasureData});
        for (int p = 0; p < pieces; ++p)
            m += cps({MarkerMeasureBefore, MarkerMeasureAfter});
        m += cps({MarkerMeasureClose});
    }
    m += cps({MarkerLogFiles, MarkerLogOpen, MarkerLogData, MarkerLogClose, MarkerLogOpen, MarkerLogData});
    for (qsizetype p = 0; p < (sentLog.size() + 249) / 250; ++p)
        m += cps({MarkerLogBefore, MarkerLogAfter});
    m += cps({MarkerLogClose});
    m += quietExchangeMarkers();
    m += cps({MarkerLogout});
    EXPECT_EQ(markers(), m);
    for (const char *name : {"ABC12342.E0R", "a.log", "zav_sensor_logfile.log"}) {
        const qsizetype open = view.lines.indexOf(cp(OpenSent) + name);
        ASSERT_GE(open, 0) << name;
        EXPECT_EQ(view.lines.mid(open + 1, 2),
                  (QList<QByteArray>{cp(CloseOk), cp(FileDeleted) + name + cp(FileDeletedEnd)}));
    }

    EXPECT_EQ(thread->state().PendingAlarmFlags, 0u);
    EXPECT_EQ(s.ReportedAlarmFlags, AlarmBit::TempHigh);
    EXPECT_FALSE(thread->state().FirstPass);
}

// The report finds the station's own record and error files by the form of
// the identifier their names carry, compared as text: a bracket, a leading
// dot (hidden names), another length, "*" or "?" neither hide them nor
// widen the search to other files. Two of its records waiting at the start
// force the report, as for any identifier. An identifier read from an old
// file that is no plain name goes under its plain form in the server's names.
TEST_F(ReportSession, TheReportFindsTheStationsOwnFilesForEveryIdentifier)
{
    core.platform().workingDirectory = QString(); // the log goes too, under the identifier
    const QStringList others{"SIM12342.E0R", "SIM12342.8MS", "SSIM1232.E0R", "STATION012.E0R",
                             "AB2.E0R",      "AB2.8MS",      "ABC12342.E0RX"};
    const struct
    {
        QByteArray id;
        QByteArray plain; // in the server's names
    } cases[] = {
        {"ABC1234", "ABC1234"}, {"[SIM123", "[SIM123"}, {".SIM123", ".SIM123"}, {"STATION01", "STATION01"},
        {"AB", "AB"},           {"*", "*"},             {"?", "?"},             {"S\r/..XY", "S----XY"},
    };
    const QDateTime local = clock.localDateTime();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.plain.constData());
        for (const QString &name : QDir(work.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(work.file(name));
        for (const QString &name : others)
            work.write(name, "another station's file\r\n");
        core.config.StationId = c.id;
        const QStringList own{Text8::toQString(StationFileNames::errorFileName(c.id, local, 0)),
                              Text8::toQString(StationFileNames::measureFileName(c.id, local)),
                              Text8::toQString(StationFileNames::measureFileName(c.id, local.addDays(-1)))};
        for (const QString &name : own)
            work.write(name, Text8::fromQString(name) + "\r\n");
        s.AcknowledgeRequest = false;
        newThread();
        EXPECT_TRUE(s.AcknowledgeRequest) << "two records waiting at the start";
        s.ImmediateReport = true; // the report either way
        server.clearRecords();

        pass();
        ASSERT_FALSE(thread->state().ReportFailed);
        QStringList sent;
        for (const HeronStandin::Upload &u : server.uploads())
            if (u.name.startsWith(ServerDataDir))
                sent.append(Text8::toQString(u.name.mid(5)));
            else
                EXPECT_EQ(u.name, cp(ServerLogName) + c.plain + cp(ServerLogSuffix));
        sent.sort();
        QStringList expected = own;
        expected.sort();
        EXPECT_EQ(sent, expected);
        for (const QString &name : own)
            EXPECT_FALSE(QFileInfo::exists(work.file(name))) << name.toStdString();
        for (const QString &name : others)
            EXPECT_EQ(work.read(name), "another station's file\r\n") << name.toStdString();
        bool requested = false;
        for (const HeronStandin::Received &r : server.frames())
            if (r.type == FrameType::FileRequestFrame)
                requested = requested || r.payload == cp(ServerConfigDir) + c.plain + cp(ConfigSuffix);
        EXPECT_TRUE(requested);
    }
}

TEST_F(ReportSession, FileSizesGiveTheirDataFrames)
{
    const struct
    {
        const char *name;
        int size;
        QList<int> pieces;
    } cases[] = {
        {"ABC12340.0MS", 0, {}},
        {"ABC12340.1MS", 1, {1}},
        {"ABC12340.2MS", 250, {250}},
        {"ABC12340.3MS", 500, {250, 250}},
        {"ABC12340.4MS", 501, {250, 250, 1}},
    };
    for (const auto &c : cases)
        work.write(c.name, bytes(c.size, 'k'));
    s.ImmediateReport = true;
    pass();
    const QList<HeronStandin::Received> frames = server.frames();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray open = cp(ServerDataDir) + c.name;
        qsizetype at = 0;
        while (at < frames.size() && !(frames[at].type == FrameType::OpenFrame && frames[at].payload == open))
            ++at;
        ASSERT_LT(at, frames.size());
        QList<int> pieces;
        for (++at; at < frames.size() && frames[at].type == FrameType::DataFrame; ++at)
            pieces.append(int(frames[at].payload.size()));
        EXPECT_EQ(pieces, c.pieces);
        ASSERT_LT(at, frames.size());
        EXPECT_EQ(frames[at].raw, QByteArray::fromHex("03fa03"));
        EXPECT_FALSE(QFileInfo::exists(work.file(c.name)));
    }
}

TEST_F(ReportSession, RefusedCloseKeepsTheFileAndTheReportCompletes)
{
    work.write("ABC12342.DMS", bytes(300, 'r'));
    s.ImmediateReport = true;
    // login, identifier, version, kind, open, data, data, close
    server.queueReactions({Reaction::normal(), Reaction::normal(), Reaction::normal(), Reaction::normal(),
                           Reaction::normal(), Reaction::normal(), Reaction::normal(),
                           Reaction::answer('C')});
    EXPECT_EQ(pass(), 3 * 100 + 500 + 2 * 500);
    EXPECT_TRUE(view.lines.contains(cp(CloseFailed)));
    EXPECT_FALSE(view.lines.contains(cp(FileDeleted) + "ABC12342.DMS" + cp(FileDeletedEnd)));
    EXPECT_EQ(work.read("ABC12342.DMS"), bytes(300, 'r'));
    EXPECT_EQ(rawFrames().last(), text("*ENDE*"));
    EXPECT_FALSE(thread->state().ReportFailed);
    EXPECT_FALSE(thread->state().FirstPass);

    // The next report sends it again, and then it goes.
    s.ImmediateReport = true;
    pass();
    ASSERT_EQ(server.uploads().size(), 1);
    EXPECT_EQ(server.uploads().last().content, bytes(300, 'r'));
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.DMS")));
}

// The connection breaks while a file is being sent (at its data frame, at
// its close frame): the session ends there with the connection failure,
// two cancel answers and the failure path; the files after it are not
// offered to a closed connection and the logout is not tried.
TEST_F(ReportSession, ConnectionLostDuringAFileEndsTheSession)
{
    const QByteArray hostPort = "127.0.0.1:" + QByteArray::number(server.port());
    // login, identifier, version, kind, open, data, close of the first file
    for (int at : {5, 6}) {
        SCOPED_TRACE(at);
        work.write("ABC12342.DMS", bytes(200, 'd'));
        work.write("ABC12342.EMS", bytes(20, 'e'));
        server.clearRecords();
        view.lines.clear();
        s.ImmediateReport = true;
        QList<Reaction> reactions(at, Reaction::normal());
        reactions.append(Reaction::drop());
        server.queueReactions(reactions);
        EXPECT_EQ(pass(), 3 * 100 + 500 + 5000);
        EXPECT_TRUE(view.lines.contains(cp(NoConnection) + hostPort));
        EXPECT_FALSE(view.lines.contains(cp(OpenFailed) + "ABC12342.EMS"));
        EXPECT_FALSE(view.lines.contains(cp(LogoutFailed)));
        EXPECT_TRUE(thread->state().ReportFailed);
        EXPECT_FALSE(s.TransferBusy);
        EXPECT_TRUE(s.ImmediateReport); // still asked for: the next pass reports
        EXPECT_EQ(work.read("ABC12342.DMS"), bytes(200, 'd'));
        EXPECT_EQ(work.read("ABC12342.EMS"), bytes(20, 'e'));
        server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });
    }
}

TEST_F(ReportSession, RefusedErrorFileOpenFailsTheReportAtItsEnd)
{
    work.write("ABC12342.E0R", "alarm line\r\n");
    work.write("ABC12342.E1R", "second alarm\r\n");
    thread->state().PendingAlarmFlags = AlarmBit::Input1;
    server.queueReactions({Reaction::normal(), Reaction::normal(), Reaction::normal(), Reaction::normal(),
                           Reaction::answer('C')});
    EXPECT_EQ(pass(), 3 * 100 + 2 * 500 + 2 * 500 + 5000);
    EXPECT_TRUE(view.lines.contains(cp(OpenFailed) + "ABC12342.E0R"));
    EXPECT_EQ(work.read("ABC12342.E0R"), "alarm line\r\n");
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.E1R"))); // the next file still went
    EXPECT_EQ(rawFrames().last(), text("*ENDE*"));              // on to the logout
    EXPECT_TRUE(thread->state().ReportFailed);
    EXPECT_EQ(thread->state().PendingAlarmFlags, AlarmBit::Input1);
    EXPECT_TRUE(thread->state().FirstPass);
    EXPECT_EQ(s.ReportedAlarmFlags, 0u);

    // The next pass reports again and sends the refused file.
    view.lines.clear();
    pass();
    EXPECT_EQ(server.connectionCount(), 2);
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.E0R")));
    EXPECT_FALSE(thread->state().ReportFailed);
    EXPECT_EQ(s.ReportedAlarmFlags & AlarmBit::Input1, AlarmBit::Input1);
}

TEST_F(ReportSession, RefusedLogoutTakesTheFailurePathAndAsksForAnImmediateReport)
{
    work.write("ABC12342.DMS", "record\r\n");
    thread->state().PendingAlarmFlags = AlarmBit::Cpu;
    s.ReportedAlarmFlags = AlarmBit::Input2;
    // login, identifier, version, kind, open, data, close, file request, logout
    QList<Reaction> r(8, Reaction::normal());
    r.append(Reaction::answer('C'));
    server.queueReactions(r);
    s.UpdateFileLocked = true;
    EXPECT_EQ(pass(), 3 * 100 + 500 + 500 + 5000);
    EXPECT_TRUE(s.ImmediateReport);
    EXPECT_TRUE(thread->state().ReportFailed);
    EXPECT_FALSE(s.UpdateFileLocked);
    EXPECT_FALSE(s.TransferBusy);
    EXPECT_EQ(s.ReportedAlarmFlags, AlarmBit::Input2);
    EXPECT_EQ(thread->state().PendingAlarmFlags, AlarmBit::Cpu);
    EXPECT_TRUE(view.lines.contains(cp(LogoutFailed)));
    EXPECT_EQ(view.lines.indexOf(cp(CentralConnectionError)), view.lines.indexOf(cp(LogoutFailed)) + 1);
    EXPECT_TRUE(localLog().contains(cp(LogLogoutFailed)));
    EXPECT_FALSE(localLog().contains(cp(LogDisconnecting)));
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.DMS"))); // accepted before the logout
    EXPECT_EQ(view.windowRestores, 0);
    EXPECT_TRUE(server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); }));
}

TEST_F(ReportSession, NoConnectionShowsTheAlarmAndRetriesEveryFiveSeconds)
{
    const struct
    {
        const char *what;
        bool refuseLogin;
    } cases[] = {{"refused login", true}, {"server unreachable", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        newThread();
        view.signals_.clear();
        view.timer5 = false;
        core.config.ServerPort = QByteArray::number(c.refuseLogin ? server.port() : closedPort());
        if (c.refuseLogin)
            server.queueReactions({Reaction::answer('C'), Reaction::answer('C')});
        s.ImmediateReport = true;
        const QByteArray hostPort = "127.0.0.1:" + core.config.ServerPort;

        EXPECT_EQ(pass(), 5000);
        EXPECT_TRUE(thread->state().ReportFailed);
        QList<QByteArray> lines{cp(DisconnectIfConnected), cp(NoConnection) + hostPort};
        if (!c.refuseLogin)
            lines.append("(10) Connection refused");
        lines.append(cp(DisconnectIfConnected));
        EXPECT_EQ(view.lines, lines);
        EXPECT_EQ(view.lastErrorText, cp(NoConnectionLabel) + hostPort);
        ASSERT_EQ(view.signals_.size(), 1);
        EXPECT_EQ(view.signals_[0].intervalMs, 500);
        EXPECT_EQ(markers(), cps({MarkerConnect}));
        EXPECT_EQ(view.reportCommandsEnabled, (QList<bool>{false, true}));

        // The next pass writes the LAN error file and tries again, 5 s
        // later; the alarm is signalled already.
        EXPECT_EQ(pass(), 5000);
        EXPECT_EQ(view.signals_.size(), 1);
        EXPECT_EQ(view.lastErrorSets, 2 * (&c - cases) + 2);
        EXPECT_TRUE(thread->state().PendingAlarmFlags & AlarmBit::Network);
        for (const QString &f : QDir(work.path()).entryList({"ABC1234?.??R"}, QDir::Files))
            QFile::remove(work.file(f));
    }
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(ReportSession, WrappedTickCounterReportsOnceWithTheFiles)
{
    thread->state().FirstPass = false;
    work.write("ABC12342.DMS", "record\r\n");
    s.LastReportTime = 4294967.0L - 100; // just before the wrap
    clock.setTick(50000);                // 50 s after it
    pass();
    EXPECT_EQ(server.uploads().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.DMS")));
    EXPECT_LT(s.LastReportTime, 60.0L);
    EXPECT_EQ(pass(), 1000); // the next pass is idle
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(ReportSession, FileThatCannotBeOpenedOrReadStays)
{
    // Broken link: cannot be opened. Link to a file whose read fails.
    ASSERT_TRUE(QFile::link(work.file("nowhere"), work.file("ABC12342.AMS")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), work.file("ABC12342.BMS")));
    work.write("ABC12342.CMS", "good\r\n");
    s.ImmediateReport = true;
    pass();
    EXPECT_TRUE(view.lines.contains(cp(OpenFailed) + "ABC12342.AMS"));
    EXPECT_TRUE(QFileInfo(work.file("ABC12342.AMS")).isSymLink());
    EXPECT_TRUE(QFileInfo(work.file("ABC12342.BMS")).isSymLink());
    EXPECT_FALSE(view.lines.contains(cp(FileDeleted) + "ABC12342.BMS" + cp(FileDeletedEnd)));
    EXPECT_FALSE(QFileInfo::exists(work.file("ABC12342.CMS")));
    int opens = 0;
    for (const HeronStandin::Received &r : server.frames())
        opens += r.type == FrameType::OpenFrame;
    EXPECT_EQ(opens, 2); // the one that cannot be opened is not announced
    EXPECT_FALSE(thread->state().ReportFailed);
}

TEST_F(ReportSession, LogLinesAddedDuringTheSendStayForTheNextReport)
{
    core.platform().workingDirectory = QString();
    WriteLogLine(core, QByteArray(300, 'x')); // more than one piece
    bool inLog = false;
    int data = 0;
    onFrame = [&](const HeronStandin::Received &r) {
        if (r.type == FrameType::OpenFrame)
            inLog = r.payload.startsWith("sensorlogfile");
        if (!inLog)
            return;
        if (r.type == FrameType::DataFrame && ++data == 1)
            WriteLogLine(core, "GROW-1"); // read later in the same send
        if (r.type == FrameType::CloseFrame)
            WriteLogLine(core, "GROW-2"); // after the last piece: stays
    };
    s.ImmediateReport = true;
    pass();
    onFrame = nullptr;
    ASSERT_EQ(server.uploads().size(), 1);
    const QByteArray sent = server.uploads()[0].content;
    const QByteArray kept = localLog();
    EXPECT_TRUE(sent.contains("GROW-1"));
    EXPECT_FALSE(sent.contains("GROW-2"));
    EXPECT_FALSE(kept.contains("GROW-1"));
    EXPECT_TRUE(kept.left(kept.indexOf("\r\n")).endsWith("GROW-2")); // the kept part begins with it
    EXPECT_TRUE(sent.endsWith("GROW-1\r\n"));

    // The next report brings it.
    s.ImmediateReport = true;
    pass();
    ASSERT_EQ(server.uploads().size(), 2);
    EXPECT_TRUE(server.uploads()[1].content.startsWith(kept));
}

// Every point at which a report can break: each frame of a report refused,
// dropped with the connection, or left unanswered. Afterwards every file is
// either still on disk as it was or held whole by the server, and a file is
// missing only when its upload was accepted; later reports then bring the
// rest, so every byte reaches the server.
TEST_F(ReportSession, NoFailurePointLosesAFile)
{
    const std::map<QString, std::pair<QByteArray, QByteArray>> originals{
        {"ABC12342.E0R",
         {"data\\ABC12342.E0R", "03-12-24;14:05:09;001-007;  A L A R M  am Parameter;r;;;;21;\r\n"}},
        {"ABC12342.AMS", {"data\\ABC12342.AMS", bytes(501, 'M')}},
        {"ABC12342.BMS", {"data\\ABC12342.BMS", bytes(40, 'm')}},
        {"x.log", {"sensorlogfile\\ABC1234.log", bytes(300, 'L')}},
    };
    // login, id, version, kind, error file (3), AMS (5), BMS (3), log (4),
    // configuration request, logout
    constexpr int kFrames = 4 + 3 + 5 + 3 + 4 + 1 + 1;
    struct Row
    {
        int at;
        Reaction reaction;
        const char *what;
    };
    QList<Row> rows;
    for (int at = 0; at < kFrames; ++at) {
        rows.append({at, Reaction::answer('C'), "refused"});
        rows.append({at, Reaction::drop(), "dropped"});
    }
    // Unanswered: each frame after it costs five read time-outs, so only
    // near the end (in the middle of the log, at its close, at the logout).
    for (int at : {kFrames - 5, kFrames - 3, kFrames - 1})
        rows.append({at, Reaction::stall(), "stalled"});

    int sessions = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.what) + " at frame " + std::to_string(row.at));
        for (const QString &f : QDir(work.path()).entryList(QDir::Files))
            QFile::remove(work.file(f));
        for (const auto &[name, v] : originals)
            work.write(name, v.second);
        server.clearRecords();
        newThread(row.reaction.kind == HeronStandin::Kind::Stall ? 150 : -1);
        thread->state().PendingAlarmFlags = AlarmBit::TempHigh;
        QList<Reaction> reactions(row.at, Reaction::normal());
        reactions.append(row.reaction);
        server.queueReactions(reactions);

        pass();
        ++sessions;
        EXPECT_FALSE(s.TransferBusy);
        EXPECT_EQ(core.semaphore.available(), 1);
        // A refused data or close frame leaves only its file for later;
        // everything else fails the report.
        const bool fileOnly =
            row.reaction.kind == HeronStandin::Kind::Answer && row.at > 4 && row.at < kFrames - 1;
        if (!fileOnly) {
            EXPECT_TRUE(thread->state().ReportFailed);
        }

        std::map<QByteArray, QList<QByteArray>> accepted;
        for (const HeronStandin::Upload &u : server.uploads())
            accepted[u.name].append(u.content);
        for (const auto &[name, v] : originals) {
            SCOPED_TRACE(name.toStdString());
            if (QFileInfo::exists(work.file(name)))
                EXPECT_EQ(work.read(name), v.second);
            else
                EXPECT_TRUE(accepted[v.first].contains(v.second));
        }

        // Later reports against a willing server bring what is left.
        for (int more = 0; more < 3 && !QDir(work.path()).entryList(QDir::Files).isEmpty(); ++more) {
            server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });
            thread->state().PendingAlarmFlags |= AlarmBit::TempHigh;
            pass();
            ++sessions;
        }
        EXPECT_TRUE(QDir(work.path()).entryList(QDir::Files).isEmpty());
        for (const HeronStandin::Upload &u : server.uploads())
            accepted[u.name].append(u.content);
        for (const auto &[name, v] : originals)
            EXPECT_TRUE(accepted[v.first].contains(v.second)) << name.toStdString();
    }
    RecordProperty("sessions", sessions);
}

// The uploads of a report keep a pace, not a time their size gives: a
// 21.9 KB log (88 data frames) whose every data frame is answered after 3 s,
// as on a poor mobile link, or after 9 s, just inside the answer wait, gets
// through whole and the report goes on to its logout; one answered after
// 20 s is cut once the frames' time and the allowance are used up, the
// session takes the failure path with the reason in the log, and the log
// stays for the next report.
TEST_F(ReportSession, SlowlyAnsweredUploadIsCutWithinItsBound)
{
    const QByteArray content = bytes(21900, 'l');
    for (const int answerAfterMs : {3000, 9000, 20000}) {
        SCOPED_TRACE(answerAfterMs);
        const bool cut = answerAfterMs > TCPUtils::FramePaceMs;
        work.write("station.log", content);
        server.clearRecords();
        view.lines.clear();
        QFile::remove(core.log().path());
        int dataFrames = 0;
        bool inLog = false;
        quint32 openedAt = 0;
        quint32 lastFrameAt = 0;
        onFrame = [&](const HeronStandin::Received &r) {
            if (r.type == FrameType::OpenFrame) {
                inLog = r.payload.startsWith("sensorlogfile");
                openedAt = clock.tickCount();
            }
            if (!inLog)
                return;
            if (r.type == FrameType::DataFrame) {
                ++dataFrames;
                clock.advance(answerAfterMs);
            }
            lastFrameAt = clock.tickCount();
        };
        reportNow();

        EXPECT_EQ(thread->state().ReportFailed, cut);
        EXPECT_FALSE(s.TransferBusy);
        const QByteArray log = localLog();
        if (cut) {
            // Each data frame takes 20 s and earns 10.26 s: the 70 s of the
            // allowance and the frame under way last 8 of them.
            EXPECT_EQ(dataFrames, 8);
            EXPECT_TRUE(server.uploads().isEmpty());
            EXPECT_EQ(work.read("station.log"), content);
            // "***Server zu langsam: Datei nach <s> s nicht vollständig"
            const qsizetype at = log.indexOf(cp(FileTooSlow));
            ASSERT_GE(at, 0) << log.constData();
            const QByteArray line = log.mid(at, log.indexOf("\r\n", at) - at);
            ASSERT_TRUE(line.endsWith(cp(TooSlowEnd))) << line.constData();
            const qsizetype head = cp(FileTooSlow).size();
            const qint64 seconds = line.mid(head, line.size() - head - cp(TooSlowEnd).size()).toLongLong();
            EXPECT_EQ(seconds * 1000, qint64(lastFrameAt - openedAt)) << line.constData();
            EXPECT_EQ(log.count(cp(FileTooSlow)), 1);
            EXPECT_TRUE(view.lines.contains(cp(NoConnection) + "127.0.0.1:" + core.config.ServerPort));
            EXPECT_FALSE(view.lines.contains(cp(LogoutSent)));
        } else {
            EXPECT_EQ(dataFrames, 88);
            ASSERT_FALSE(server.uploads().isEmpty());
            EXPECT_EQ(server.uploads().last().name, "sensorlogfile\\ABC1234.log");
            EXPECT_EQ(server.uploads().last().content, content);
            EXPECT_FALSE(QFileInfo::exists(work.file("station.log")));
            EXPECT_FALSE(log.contains(cp(FileTooSlow)));
            EXPECT_TRUE(view.lines.contains(cp(LogoutSent)));
        }
    }
}

// The record files that waited through an outage, each answered too slowly
// (20 s a data frame) but each well inside an allowance of its own: the
// allowance is one for the whole report, so the report is cut once the
// files together took their frames' time and that allowance, and the files
// that went through are the server's. Answered after 9 s, all of them go.
TEST_F(ReportSession, SlowlyAnsweredFilesShareOneAllowance)
{
    constexpr int kFiles = 6;
    const QByteArray content = bytes(1000, 'r'); // 4 data frames
    for (const int answerAfterMs : {9000, 20000}) {
        SCOPED_TRACE(answerAfterMs);
        const bool cut = answerAfterMs > TCPUtils::FramePaceMs;
        // Each file alone takes less than the allowance beyond its frames.
        ASSERT_LT(4 * (answerAfterMs - TCPUtils::FramePaceMs), TCPUtils::TransferAllowanceMs);
        for (int i = 0; i < kFiles; ++i)
            work.write("ABC12340." + QByteArray::number(i) + "MS", content);
        server.clearRecords();
        QFile::remove(core.log().path());
        int opened = 0;
        bool inRecords = false;
        onFrame = [&](const HeronStandin::Received &r) {
            if (r.type == FrameType::OpenFrame) {
                inRecords = r.payload.endsWith("MS");
                opened += inRecords ? 1 : 0;
            }
            if (!inRecords)
                return;
            if (r.type == FrameType::DataFrame)
                clock.advance(answerAfterMs);
            if (r.type == FrameType::CloseFrame)
                inRecords = false;
        };
        reportNow();

        EXPECT_EQ(thread->state().ReportFailed, cut);
        int delivered = 0;
        for (const HeronStandin::Upload &u : server.uploads())
            if (u.name.endsWith("MS")) {
                ++delivered;
                EXPECT_EQ(u.content, content);
                EXPECT_FALSE(QFileInfo::exists(work.file(QString::fromLatin1(u.name.mid(5)))));
            }
        EXPECT_EQ(QDir(work.path()).entryList({QStringLiteral("*.?MS")}, QDir::Files).size(),
                  kFiles - delivered);
        if (!cut) {
            EXPECT_EQ(delivered, kFiles);
            continue;
        }
        // Each file's data frames take 80 s and earn 41 s, its quick open
        // and close frames earn back no more than their time: cut in the
        // third, before its close frame.
        EXPECT_EQ(opened, 3);
        EXPECT_EQ(delivered, 2);
        EXPECT_EQ(localLog().count(cp(FileTooSlow)), 1) << localLog().constData();
        for (const QString &left : QDir(work.path()).entryList({QStringLiteral("*.?MS")}, QDir::Files))
            QFile::remove(work.file(left));
    }
}

namespace {

struct AlarmCutCase
{
    const char *name;
    bool filed;
    bool hourUsedUp;
    bool diskFull;
    bool cut;
};

class ReportSessionAlarmCut : public ReportSession, public ::testing::WithParamInterface<AlarmCutCase>
{};

} // namespace

// An alarm raised while a long upload runs (a 21.9 KB log answered 3 s a
// frame, 264 s in all) cuts it once it has waited half a minute for its error
// file: the report ends without the failure path's pause and without a LAN
// error, the log stays whole, and the next pass files the alarm and sends
// its error file first, then the log. An alarm that would get no error file
// now (its group filed, the hour's error files used up, or a full disk,
// which the log's upload frees) cuts nothing.
TEST_P(ReportSessionAlarmCut, AlarmRaisedDuringALongUploadCutsItAndGoesFirst)
{
    const QByteArray content = bytes(21900, 'l');
    const AlarmCutCase &c = GetParam();
    std::optional<ScopedTmpfs> disk;
    if (c.diskFull) {
        disk.emplace(work.path(), 64 * 1024);
        if (!disk->mounted())
            GTEST_SKIP() << "no full disk here: " << qPrintable(disk->whyNot());
        QDir::setCurrent(work.path()); // into the tmpfs
    }
    work.write("station.log", content);
    if (disk) {
        ASSERT_TRUE(disk->fill());
    }
    server.clearRecords();
    view.lines.clear();
    QFile::remove(core.log().path());
    {
        SharedDataLock lock(core.semaphore);
        s.AlarmFlags = s.FiledAlarmFlags = s.ReportedAlarmFlags = 0;
    }
    if (c.hourUsedUp) {
        thread->state().ErrorFileHour = clock.localDateTime().time().hour();
        thread->state().ErrorFileCount = 35;
    }
    int dataFrames = 0;
    quint32 raisedAt = 0;
    quint32 lastDataAt = 0;
    bool inLog = false;
    onFrame = [&](const HeronStandin::Received &r) {
        if (r.type == FrameType::OpenFrame)
            inLog = r.payload.startsWith("sensorlogfile");
        if (r.type != FrameType::DataFrame || !inLog)
            return;
        clock.advance(3000);
        lastDataAt = clock.tickCount();
        if (++dataFrames == 10) {
            SharedDataLock lock(core.semaphore);
            s.AlarmT.Value = 31.5;
            s.AlarmT.MaxLimit = 30.0;
            s.AlarmFlags |= AlarmBit::TempHigh;
            if (c.filed)
                s.FiledAlarmFlags |= AlarmBit::TempHigh;
            raisedAt = clock.tickCount();
        }
    };
    const qint64 slept = reportNow();
    const QByteArray log = localLog();

    EXPECT_FALSE(thread->state().ReportFailed);
    EXPECT_FALSE(s.TransferBusy);
    if (!c.cut) {
        EXPECT_EQ(dataFrames, 88);
        EXPECT_FALSE(log.contains(cp(AlarmCut))) << log.constData();
        EXPECT_FALSE(QFileInfo::exists(work.file("station.log")));
        if (disk) {
            QFile::remove(work.file("filler"));
            disk.reset();
            QDir::setCurrent(work.path());
        }
        return;
    }
    // Seen at the next look, cut at the first frame half a minute later.
    const qint64 waited = qint64(lastDataAt - raisedAt);
    EXPECT_GE(waited, TCPUtils::AlarmGraceMs);
    EXPECT_LE(waited, TCPUtils::AlarmGraceMs + TCPUtils::AlarmLookIntervalMs + 3000);
    EXPECT_LT(slept, 5000); // no failure pause
    EXPECT_EQ(work.read("station.log"), content);
    EXPECT_TRUE(server.uploads().isEmpty());
    EXPECT_EQ(log.count(cp(AlarmCut)), 1) << log.constData();
    EXPECT_TRUE(log.contains(cp(AlarmCutEnd) + "\r\n"));
    EXPECT_FALSE(view.lines.contains(cp(LogoutSent)));
    EXPECT_FALSE(view.lines.contains(cp(NoConnection) + "127.0.0.1:" + core.config.ServerPort));
    // The two cancels, as after any break in a record or log file.
    QByteArray letters;
    for (const HeronStandin::Received &a : server.answers())
        letters.append(a.letter);
    EXPECT_EQ(letters, "CC");

    // The next pass: the error file first, no LAN error, then the log.
    server.clearRecords();
    pass();
    server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); });
    const QList<HeronStandin::Upload> uploads = server.uploads();
    ASSERT_EQ(uploads.size(), 2);
    EXPECT_TRUE(uploads[0].name.startsWith("data\\ABC1234") && uploads[0].name.endsWith('R'));
    EXPECT_TRUE(uploads[0].content.contains(";001-001;")) << uploads[0].content.constData();
    EXPECT_FALSE(uploads[0].content.contains(cp(LanError)));
    EXPECT_EQ(uploads[1].name, "sensorlogfile\\ABC1234.log");
    EXPECT_EQ(uploads[1].content, content);
    EXPECT_TRUE(view.lines.contains(cp(LogoutSent)));
    EXPECT_EQ(thread->state().PendingAlarmFlags, 0u);
    EXPECT_EQ(s.ReportedAlarmFlags & AlarmBit::TempHigh, AlarmBit::TempHigh);
}

INSTANTIATE_TEST_SUITE_P(
    ReportSession, ReportSessionAlarmCut,
    ::testing::Values(AlarmCutCase{"ANewAlarm", false, false, false, true},
                      AlarmCutCase{"AnAlarmAlreadyFiled", true, false, false, false},
                      AlarmCutCase{"TheHoursErrorFilesUsedUp", false, true, false, false},
                      AlarmCutCase{"AFullDisk", false, false, true, false}),
    [](const ::testing::TestParamInfo<AlarmCutCase> &info) { return std::string(info.param.name); });
