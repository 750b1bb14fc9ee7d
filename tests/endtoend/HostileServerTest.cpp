#include "endtoend/StationProcess.h"

#include "HeronStandin.h"
#include "support/TricklingHeronServer.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>

// The real station against servers that misbehave during the configuration
// download: one that stops half-way while the station is killed, one that
// trickles. Two record files waiting at the start make the station report
// at once.
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
    std::unique_ptr<StationProcess> station;

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
    QByteArray configure(quint16 serverPort) const
    {
        QList<QByteArray> values = StationProcess::configValues();
        values[13] = "127.0.0.1:" + QByteArray::number(serverPort);
        const QByteArray file = StationProcess::configFile(values);
        station->writeFile(QStringLiteral("r2arodire.cfg"), file);
        return file;
    }
    bool exists(const char *name) const { return QFileInfo::exists(QDir(work).filePath(QString::fromLatin1(name))); }
    QByteArray log() const { return station->file(QStringLiteral("zav_sensor_logfile.log")); }
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
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    const QString files = tmp.filePath(QStringLiteral("files"));
    QDir().mkpath(uploads);
    QDir().mkpath(files + QStringLiteral("/seconfig"));
    server.setUploadDir(uploads);
    server.setServeDir(files);
    ASSERT_TRUE(server.start());
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
    // frame's bound) or, had it dropped the frame, 60 (the file's).
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
