#include "endtoend/StationProcess.h"
#include "endtoend/ViewerConfigPeer.h"

#include "HeronStandin.h"
#include "reporting/ConfigExchange.h"
#include "support/TricklingHeronServer.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>

// The real station against servers that misbehave during the configuration
// exchange and the uploads: one that stops half-way while the station is
// killed, one that trickles, one that holds the download while a viewer
// saves a configuration, one that serves a configuration too large to be
// one, one that answers every data frame late. Two record files waiting at
// the start make the station report at once.
namespace {

constexpr int kStartMs = 20000;

QByteArray waitingFile(int hourLetterOffset)
{
    const int weekday = (QDate::currentDate().dayOfWeek() + 3) % 7;
    return "SIM1234" + QByteArray::number(weekday) + '.' + char('A' + hourLetterOffset) + "MS";
}

struct HostileServer : ::testing::Test
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    // What a serving stand-in received, and the files it serves (the
    // server's copies below seconfig/).
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    const QString files = tmp.filePath(QStringLiteral("files"));
    std::unique_ptr<StationProcess> station;

    bool startServing(HeronStandin &server) const
    {
        QDir().mkpath(uploads);
        QDir().mkpath(files + QStringLiteral("/seconfig"));
        server.setUploadDir(uploads);
        server.setServeDir(files);
        return server.start();
    }

    void SetUp() override
    {
        station = StationProcess::simulated(tmp.path());
        ASSERT_TRUE(station);
    }
    void TearDown() override
    {
        if (station && station->running())
            station->shutdown();
    }
    void recordsWaiting() const
    {
        station->writeFile(QString::fromLatin1(waitingFile(0)), "$0000000000001.g18.00;\xF8" "C;;21;SIM1234\r\n");
        station->writeFile(QString::fromLatin1(waitingFile(1)), "$0000000000002.g18.50;\xF8" "C;;21;SIM1234\r\n");
    }
    QByteArray configure(quint16 serverPort, const QByteArray &tempMax = {}) const
    {
        QList<QByteArray> values = StationProcess::configValues();
        values[1] = tempMax;
        values[13] = "127.0.0.1:" + QByteArray::number(serverPort);
        const QByteArray file = StationProcess::configFile(values);
        station->writeFile(QStringLiteral("r2arodire.cfg"), file);
        return file;
    }
    // A file the serving stand-in offers, below its serve folder.
    void serve(const QString &name, const QByteArray &bytes) const
    {
        QFile f(QDir(files).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    bool exists(const char *name) const { return QFileInfo::exists(QDir(work).filePath(QString::fromLatin1(name))); }
    QByteArray log() const { return station->file(QStringLiteral("zav_sensor_logfile.log")); }
    quint16 viewerPort() const
    {
        return static_cast<quint16>(station->viewerPort() + station->instanceNumber() - 1);
    }
};

bool loggedOut(const HeronStandin &s, int connection)
{
    for (const HeronStandin::Received &r : s.frames())
        if (r.connection == connection && r.payload == "*ENDE*")
            return true;
    return false;
}

} // namespace

// Killed while the server's copy comes in several data frames: nothing of it
// takes the name of the identifier copy, and the next start removes it and
// uploads nothing.
TEST_F(HostileServer, KillDuringADownloadOfSeveralDataFramesLeavesNothingToUpload)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    const QByteArray config = configure(server.port());
    // The server's copy: 2151 bytes, sent 200 at a time; after the third
    // data frame the server sends nothing more.
    QByteArray served = config + "UPDATE\r\n";
    served += QByteArray(2151 - served.size() - 2, '#') + "\r\n";
    {
        QFile f(files + QStringLiteral("/seconfig/SIM1234.cfg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(served);
    }
    HeronStandin::ServeOptions stalling;
    stalling.chunkSize = 200;
    stalling.stallAfterFrames = 4;
    server.setServeOptions(stalling);
    recordsWaiting();
    station->start();

    // Ready, the length frame and three data frames answered: kill.
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return s.answers().size() >= 5; }, kStartMs))
        << station->output().constData() << log().constData();
    station->process().kill();
    ASSERT_TRUE(station->waitForExit(5000));
    EXPECT_FALSE(exists("SIM1234.cfg")) << station->file(QStringLiteral("SIM1234.cfg")).size();
    EXPECT_TRUE(server.uploads().size() >= 2); // the waiting records went

    // The next start: the leftover goes, nothing is uploaded as the
    // station's configuration, r2arodire.cfg is the one from before.
    server.setServeOptions(HeronStandin::ServeOptions());
    QFile::remove(files + QStringLiteral("/seconfig/SIM1234.cfg"));
    server.clearRecords();
    recordsWaiting();
    station->start();
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return loggedOut(s, s.connectionCount()); }, kStartMs))
        << station->output().constData() << log().constData();
    for (const HeronStandin::Upload &u : server.uploads())
        EXPECT_FALSE(u.name.startsWith("seconfig\\")) << u.name.constData() << ": " << u.content.size();
    EXPECT_FALSE(exists("r2arodire.recv"));
    EXPECT_FALSE(exists("SIM1234.cfg"));
    EXPECT_EQ(station->file(QStringLiteral("r2arodire.cfg")), config);
    ASSERT_TRUE(station->shutdown());
}

// A server that sends one byte a second inside a data frame of the
// configuration download: the station gives up on it within the bound, logs
// why, has its r2arodire.cfg back and reports again (the server then
// refuses the request).
TEST_F(HostileServer, TricklingServerIsCutOffAndTheStationReportsAgain)
{
    TricklingHeronServer::Options options;
    options.byteIntervalMs = StationProcess::realMs(1000);
    options.maxBytes = 400; // 40 s of the station's clock
    options.tricklingConnections = 1;
    TricklingHeronServer trickler(options);
    ASSERT_TRUE(trickler.start());
    const QByteArray config = configure(trickler.port());
    recordsWaiting();
    station->start();

    // The second report finds the file request refused and completes.
    ASSERT_TRUE(StationProcess::waitUntil([&] { return trickler.trickledBeforeClose(2) >= 0; }, kStartMs))
        << log().constData();
    EXPECT_EQ(trickler.requests().value(0), "seconfig\\SIM1234.cfg");
    // The station closed the first connection after about 15 bytes (the
    // frame's bound) or, had it dropped the frame, 67 (the file's, for the
    // 752 bytes announced).
    EXPECT_GE(trickler.trickledBeforeClose(1), 10);
    EXPECT_LE(trickler.trickledBeforeClose(1), 80);
    // The line in the log, which went to the server with the second report.
    const QByteArray sentLog = trickler.uploaded() + log();
    EXPECT_TRUE(sentLog.contains(" /Sensor/ ***Server zu langsam: Rahmen nach 16 s nicht vollst\xE4ndig\r\n") ||
                sentLog.contains(" /Sensor/ ***Server zu langsam: Datei nach "))
        << sentLog.constData();
    EXPECT_EQ(station->file(QStringLiteral("r2arodire.cfg")), config);
    EXPECT_FALSE(exists("r2arodire.recv"));
    ASSERT_TRUE(station->shutdown());
}

// A viewer's configuration (Temp-Max 33) accepted while the server holds the
// configuration download, which then fails on its length: r2arodire.cfg
// keeps the viewer's configuration, the live settings agree, and neither
// goes back to the Temp-Max 30 from before.
TEST_F(HostileServer, ViewerConfigurationAcceptedDuringAFailedDownloadStays)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    const QByteArray before = configure(server.port(), "30");
    ASSERT_NO_FATAL_FAILURE(serve(QStringLiteral("seconfig/SIM1234.cfg"), configure(server.port(), "40")));
    station->writeFile(QStringLiteral("r2arodire.cfg"), before);
    HeronStandin::ServeOptions wrongLength;
    wrongLength.lengthDelta = 1;
    server.setServeOptions("seconfig\\SIM1234.cfg", wrongLength);

    // The station's ready answer to the first configuration request is held
    // until the viewer's configuration is saved (or 5 s have passed); the
    // station waits for the length frame meanwhile. At the logout the
    // download is over: r2arodire.cfg as it stands then.
    std::atomic<int> phase{0};
    std::atomic<bool> release{false};
    std::mutex atLogoutMutex;
    QByteArray atLogout;
    std::atomic<bool> logoutSeen{false};
    server.setObserver([&](const HeronStandin::Received &r) {
        if (r.connection != 1)
            return;
        if (!r.isAnswer && r.type == 10 && r.payload == "seconfig\\SIM1234.cfg" && phase == 0) {
            phase = 1;
        } else if (r.isAnswer && phase == 1) {
            phase = 2;
            QElapsedTimer held;
            held.start();
            while (!release && held.elapsed() < 5000)
                QThread::msleep(10);
            phase = 3;
        } else if (!r.isAnswer && r.payload == "*ENDE*") {
            std::lock_guard lock(atLogoutMutex);
            atLogout = station->file(QStringLiteral("r2arodire.cfg"));
            logoutSeen = true;
        }
    });
    recordsWaiting();
    station->start();
    ASSERT_TRUE(StationProcess::waitUntil([&] { return phase >= 2; }, kStartMs))
        << station->output().constData() << log().constData();

    QByteArrayList texts = {"5 ", "33 ", "-3 ", "18 ", "2 ", "12 ", "20 ", "80 ", "0", "0", "0", "0", "SIM1234 ",
                            "127.0.0.1:" + QByteArray::number(server.port()) + ' ', "COM3: ", "4 ", "5 "};
    const QByteArrayList message = sendConfiguration(viewerPort(), texts, 4000);
    const bool saved = StationProcess::waitUntil(
        [&] { return station->file(QStringLiteral("r2arodire.cfg")).contains("\r\n33\r\n"); }, 1000);
    const QByteArray viewerSaved = station->file(QStringLiteral("r2arodire.cfg"));
    const bool heldThroughout = phase == 2;
    release = true;
    ASSERT_TRUE(saved) << message.join('|').constData() << "\n" << log().constData();
    ASSERT_TRUE(heldThroughout) << "the viewer's configuration came after the download";
    ASSERT_EQ(message.size(), 24);
    EXPECT_EQ(message[7], "33 ");

    ASSERT_TRUE(StationProcess::waitUntil([&] { return logoutSeen.load(); }, kStartMs)) << log().constData();
    ASSERT_FALSE(server.served().isEmpty());
    EXPECT_FALSE(server.served()[0].delivered);
    {
        std::lock_guard lock(atLogoutMutex);
        EXPECT_EQ(atLogout, viewerSaved) << atLogout.constData();
    }
    // The live settings: the next measurement message carries 33.
    const QByteArrayList after = nextMessage(viewerPort(), 20000);
    ASSERT_EQ(after.size(), 24);
    EXPECT_EQ(after[7], "33 ");
    ASSERT_TRUE(station->shutdown());
    EXPECT_TRUE(station->file(QStringLiteral("r2arodire.cfg")).contains("Temp-Max\r\n33\r\n"))
        << station->file(QStringLiteral("r2arodire.cfg")).constData();
}

// A configuration of 1 MB, more than 35 lines at the line bound can hold:
// the station cuts it at its length frame, says so in its log, keeps its
// r2arodire.cfg and completes the report.
TEST_F(HostileServer, ConfigurationLargerThanOneCanBeIsCutAtItsLength)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    const QByteArray config = configure(server.port());
    {
        QByteArray served = config;
        served += QByteArray((1 << 20) - served.size(), '#');
        QFile f(files + QStringLiteral("/seconfig/SIM1234.cfg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(served);
    }
    recordsWaiting();
    station->start();
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return loggedOut(s, 1); }, kStartMs))
        << station->output().constData() << log().constData();

    // Ready, then "C" for the length frame: nothing of the data came.
    QByteArray letters;
    for (const HeronStandin::Received &a : server.answers())
        if (a.connection == 1)
            letters.append(a.letter);
    EXPECT_EQ(letters, "AC");
    ASSERT_EQ(server.served().size(), 1);
    EXPECT_FALSE(server.served()[0].delivered);
    EXPECT_EQ(ConfigExchange::MaxConfigFileBytes, 143430);
    EXPECT_TRUE(log().contains(" /Sensor/ ***Datei zu gro\xDF: 1048576 Bytes, h\xF6" "chstens 143430: "
                               "seconfig\\SIM1234.cfg\r\n"))
        << log().constData();
    EXPECT_EQ(station->file(QStringLiteral("r2arodire.cfg")), config);
    EXPECT_FALSE(exists("r2arodire.recv"));
    ASSERT_TRUE(station->shutdown());
}

// A sound server on a poor link answers every frame after 3 s, and the
// station starts with a 24 KB log, as after a few days without a
// connection (97 data frames, about five minutes): the log goes whole in
// the first report, and that report goes on to the configuration exchange,
// the update requests and the logout.
TEST_F(HostileServer, SoundServerOnASlowLinkGetsTheLogAndTheReportEnds)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    server.setAnswerDelayMs(StationProcess::realMs(3000));
    ASSERT_NO_FATAL_FAILURE(
        serve(QStringLiteral("seconfig/SIM1234.cfg"), configure(server.port()) + "UPDATE\r\n"));
    QByteArray waitingLog;
    for (int i = 0; waitingLog.size() < 24000; ++i)
        waitingLog += "01.03.11 08:30:00 /Sensor/ a line of the log before, number " + QByteArray::number(i) + "\r\n";
    waitingLog.truncate(24000);
    station->writeFile(QStringLiteral("earlier.log"), waitingLog);
    recordsWaiting();
    station->start();

    // About 120 frames at 3 s each.
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return loggedOut(s, 1); },
                                 StationProcess::realMs(600000)))
        << log().constData();
    EXPECT_EQ(server.connectionCount(), 1);
    bool logDelivered = false;
    for (const HeronStandin::Upload &u : server.uploads())
        logDelivered = logDelivered || (u.name == "sensorlogfile\\SIM1234.log" && u.content == waitingLog);
    EXPECT_TRUE(logDelivered);
    QList<QByteArray> requests;
    for (const HeronStandin::Received &r : server.frames())
        if (r.connection == 1 && r.type == 10)
            requests.append(r.payload);
    EXPECT_EQ(requests, (QList<QByteArray>{"seconfig\\SIM1234.cfg", "seconfig\\Fernblick.upd",
                                           "seconfig\\Klimawarte.upd"}));
    EXPECT_FALSE(exists("earlier.log"));
    EXPECT_FALSE(log().contains("Server zu langsam")) << log().constData();
    ASSERT_TRUE(station->shutdown());
}

// An update announced at 256 MB and trickled one frame of 752 bytes every
// 14 s (a pace no size bound would cut for days): an alarm raised while it
// runs cuts it once it has waited half a minute, and its error file is at the
// server within five minutes of the reading that raised it; the station
// counts no failure of the link (no LAN error file).
TEST_F(HostileServer, TrickledUpdateDoesNotHoldBackAnAlarm)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    ASSERT_NO_FATAL_FAILURE(
        serve(QStringLiteral("seconfig/SIM1234.cfg"), configure(server.port(), "30") + "UPDATE\r\n"));
    ASSERT_NO_FATAL_FAILURE(serve(QStringLiteral("seconfig/Klimawarte.upd"), QByteArray(200000, 'U')));
    HeronStandin::ServeOptions trickle;
    trickle.lengthDelta = 256LL * 1024 * 1024 - 200000;
    trickle.frameIntervalMs = StationProcess::realMs(14000);
    trickle.answerTimeoutMs = StationProcess::realMs(60000);
    server.setServeOptions("seconfig\\Klimawarte.upd", trickle);
    recordsWaiting();
    station->start();

    // The update comes: its request was taken and three frames answered.
    auto updateFramesAnswered = [](const HeronStandin &s) {
        int answers = -1;
        for (const HeronStandin::Received &r : s.received()) {
            if (!r.isAnswer && r.type == 10 && r.payload == "seconfig\\Klimawarte.upd")
                answers = 0;
            else if (r.isAnswer && answers >= 0)
                ++answers;
        }
        return answers;
    };
    ASSERT_TRUE(server.waitUntil([&](const HeronStandin &s) { return updateFramesAnswered(s) >= 4; },
                                 StationProcess::realMs(120000)))
        << log().constData();

    // Above Temp-Max from now on.
    QElapsedTimer sinceReading;
    {
        QFile f(tmp.filePath(QStringLiteral("sensor-sim.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("raw_temp=9000\nraw_humidity=1500\n");
    }
    sinceReading.start();
    auto errorFile = [](const HeronStandin &s) {
        for (const HeronStandin::Upload &u : s.uploads())
            if (u.name.startsWith("data\\") && u.name.endsWith('R'))
                return std::optional<HeronStandin::Upload>(u);
        return std::optional<HeronStandin::Upload>();
    };
    // What the stand-in received, for a failure's message.
    auto trace = [&] {
        QByteArray t;
        for (const HeronStandin::Received &r : server.received())
            t += QByteArray::number(r.connection) +
                 (r.isAnswer ? QByteArray(" answer ") + r.letter : " frame " + QByteArray::number(r.type)) +
                 '\n';
        return t + station->output();
    };
    ASSERT_TRUE(server.waitUntil([&](const HeronStandin &s) { return errorFile(s).has_value(); },
                                 StationProcess::realMs(300000)))
        << trace().constData();
    const qint64 delay = sinceReading.elapsed();
    RecordProperty("alarm_at_server_ms_real", int(delay));
    std::fprintf(stderr, "error file at the server %lld ms (real) after the reading\n", qlonglong(delay));
    const HeronStandin::Upload first = errorFile(server).value();
    EXPECT_TRUE(first.content.contains("Temperatur")) << first.content.constData();
    EXPECT_FALSE(first.content.contains("LAN- / INTERNET-FEHLER"));
    // The line in the log, here or already at the server.
    QByteArray sentLog;
    for (const HeronStandin::Upload &u : server.uploads())
        if (u.name.startsWith("sensorlogfile\\"))
            sentLog += u.content;
    sentLog += log();
    EXPECT_TRUE(sentLog.contains(" /Sensor/ ***Neuer Alarm: \xDC"
                                 "bertragung nach "))
        << sentLog.constData();
    EXPECT_TRUE(sentLog.contains(" s abgebrochen, die Fehlerdatei geht vor\r\n"));
    EXPECT_FALSE(exists("Klimawarte.upd"));
    ASSERT_TRUE(station->shutdown());
}

// A server that crawls through the configuration download on empty frames of
// a type the station does not know, one every 9 s, without end: the station
// cuts it about 70 s into the crawl and logs why, r2arodire.cfg is back as it
// was, and the next report goes as usual.
TEST_F(HostileServer, CrawlOfEmptyFramesInTheConfigurationDownloadIsCut)
{
    HeronStandin server;
    ASSERT_TRUE(startServing(server));
    const QByteArray config = configure(server.port());
    ASSERT_NO_FATAL_FAILURE(serve(QStringLiteral("seconfig/SIM1234.cfg"), config));
    HeronStandin::ServeOptions crawl;
    crawl.fillerFrames = 100000;
    crawl.frameIntervalMs = StationProcess::realMs(9000);
    crawl.answerTimeoutMs = StationProcess::realMs(60000);
    server.setServeOptions("seconfig\\SIM1234.cfg", crawl);
    recordsWaiting();
    station->start();

    // The download is cut: the station cancels the frame under way.
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return !s.served().isEmpty(); },
                                 StationProcess::realMs(300000)))
        << log().constData();
    int crawled = 0;
    for (const HeronStandin::Received &r : server.received())
        crawled += r.isAnswer && r.connection == 1 ? 1 : 0;
    server.setServeOptions("seconfig\\SIM1234.cfg", HeronStandin::ServeOptions());
    EXPECT_FALSE(server.served()[0].delivered);
    // Ready, the length frame, the crawl: 70 s of empty frames, give or
    // take the frame under way (old stations never cut it).
    EXPECT_GE(crawled, 2 + 7);
    EXPECT_LE(crawled, 2 + 10);
    EXPECT_TRUE(log().contains(" /Sensor/ ***Server zu langsam: Datei nach ")) << log().constData();

    // The next report: the configuration comes whole, and the logout.
    ASSERT_TRUE(server.waitUntil([](const HeronStandin &s) { return s.connectionCount() >= 2 && loggedOut(s, 2); },
                                 StationProcess::realMs(300000)))
        << log().constData();
    ASSERT_EQ(server.served().size(), 2);
    EXPECT_TRUE(server.served()[1].delivered);
    EXPECT_EQ(station->file(QStringLiteral("r2arodire.cfg")), config);
    EXPECT_FALSE(exists("r2arodire.recv"));
    ASSERT_TRUE(station->shutdown());
}
