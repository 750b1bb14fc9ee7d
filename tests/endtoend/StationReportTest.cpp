#include "endtoend/StationProcess.h"

#include "HeronStandin.h"
#include "common/ProxyConfigFile.h"
#include "support/ScriptedHttpProxy.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>

// The real station reporting to the stand-in HERON server. A fresh station
// makes its first scheduled report one alarm interval after its start; two
// record files waiting at the start make it report at once, as after an
// outage. The files are named for another weekday, so the station's own
// records of this hour go to a third file.
namespace {

constexpr int kStartMs = 20000;

QByteArray otherWeekdayFile(int hourLetterOffset)
{
    const int weekday = (QDate::currentDate().dayOfWeek() + 3) % 7;
    return "SIM1234" + QByteArray::number(weekday) + '.' + char('A' + hourLetterOffset) + "MS";
}

const QByteArray kWaitingA = "$0000000000001.g18.00;\xF8"
                             "C;;21;SIM1234\r\n"
                             "$0000000000002.g50.00;%;;21;SIM1234\r\n";
const QByteArray kWaitingB = "$0000000000003.g18.50;\xF8"
                             "C;;21;SIM1234\r\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct StationReport : ::testing::Test
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    std::unique_ptr<StationProcess> station;

    void SetUp() override
    {
        station = StationProcess::simulated(tmp.path());
        ASSERT_TRUE(station);
        station->writeFile(QString::fromLatin1(otherWeekdayFile(0)), kWaitingA);
        station->writeFile(QString::fromLatin1(otherWeekdayFile(1)), kWaitingB);
    }
    void TearDown() override
    {
        if (station && station->running())
            station->shutdown();
    }
    void writeSim(const QByteArray &content)
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(content), content.size());
    }
    void configure(quint16 serverPort, const QByteArray &tempMax = {})
    {
        QList<QByteArray> values = StationProcess::configValues();
        values[1] = tempMax;
        values[13] = "127.0.0.1:" + QByteArray::number(serverPort);
        station->writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(values));
    }
    QStringList recordFiles() const
    {
        return QDir(work).entryList({QStringLiteral("SIM1234?.?MS")}, QDir::Files);
    }
    QByteArray log() const { return station->file(QStringLiteral("zav_sensor_logfile.log")); }
};

} // namespace

TEST_F(StationReport, TwoWaitingRecordFilesMakeTheFirstReportArriveWhole)
{
    HeronStandin server;
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    server.setUploadDir(uploads);
    ASSERT_TRUE(server.start());
    configure(server.port());
    station->start();

    ASSERT_TRUE(server.waitUntil(
        [](const HeronStandin &s) {
            for (const HeronStandin::Received &r : s.frames())
                if (r.payload == "*ENDE*")
                    return true;
            return false;
        },
        kStartMs))
        << station->output().constData() << log().constData();

    // The session in its order: login, identifier, version, kind, files, logout.
    QList<QByteArray> texts;
    for (const HeronStandin::Received &r : server.frames())
        if (r.type == 27)
            texts << r.payload;
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0], "SIM1234");
    EXPECT_TRUE(texts[1].startsWith("*D2AVid:") && texts[1].endsWith('*')) << texts[1].constData();
    EXPECT_EQ(texts[2], "*DATA*");
    EXPECT_EQ(texts[3], "*ENDE*");
    EXPECT_EQ(server.frames().first().type, 50);

    // The waiting files arrive byte for byte and leave the station; the
    // station's own file of this hour arrives with its records.
    const QDir data(QDir(uploads).filePath(QStringLiteral("data")));
    EXPECT_EQ(readAll(data.filePath(QString::fromLatin1(otherWeekdayFile(0)))), kWaitingA);
    EXPECT_EQ(readAll(data.filePath(QString::fromLatin1(otherWeekdayFile(1)))), kWaitingB);
    const QStringList arrived = data.entryList(QDir::Files);
    EXPECT_EQ(arrived.size(), 3) << arrived.join(' ').toStdString();
    for (const QString &name : arrived) {
        if (name.toLatin1() == otherWeekdayFile(0) || name.toLatin1() == otherWeekdayFile(1))
            continue;
        EXPECT_TRUE(readAll(data.filePath(name))
                        .contains("1.g19.40;\xF8"
                                  "C;;21;SIM1234\r\n"))
            << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QDir(work).filePath(QString::fromLatin1(otherWeekdayFile(0)))));
    EXPECT_FALSE(QFile::exists(QDir(work).filePath(QString::fromLatin1(otherWeekdayFile(1)))));

    // The log goes under the station's name, with the lines that led to the report.
    const QByteArray sentLog = readAll(QDir(uploads).filePath(QStringLiteral("sensorlogfile/SIM1234.log")));
    EXPECT_TRUE(sentLog.contains(" /Sensor/ !!Taste QUITTIEREN gedr\xFC"
                                 "ckt!\r\n"))
        << sentLog.constData();
    EXPECT_TRUE(sentLog.contains(" /Sensor/ ---->Verbindungsaufbau\r\n")) << sentLog.constData();
    EXPECT_TRUE(sentLog.contains(" /Sensor/ N\xE4"
                                 "chster  Meldezeitpunkt gebildet\r\n"))
        << sentLog.constData();
    // What the station logged after sending its log stays for the next report.
    EXPECT_TRUE(station->waitForFileContaining(QStringLiteral("zav_sensor_logfile.log"),
                                               " /Sensor/ Quittung zur\xFC"
                                               "ckgesetzt\r\n",
                                               kStartMs))
        << log().constData();
    EXPECT_FALSE(log().contains("Verbindungsaufbau"));

    // The report is complete: no second one follows within the interval.
    QThread::msleep(StationProcess::realMs(10000));
    EXPECT_EQ(server.connectionCount(), 1);
    ASSERT_TRUE(station->shutdown());
    EXPECT_EQ(station->control(), "IDLE");
}

TEST_F(StationReport, StationWhoseServerPortIsClosedKeepsMeasuringAndLogsTheFailures)
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    configure(closedPort, "30");
    station->start();

    // The forced report fails and is tried again about every 5 s.
    ASSERT_TRUE(
        StationProcess::waitUntil([&] { return log().count("---->Verbindungsaufbau") >= 3; }, kStartMs))
        << station->output().constData() << log().constData();
    EXPECT_TRUE(log().contains(" /Sensor/ !!Taste QUITTIEREN gedr\xFC"
                               "ckt!\r\n"));

    // One LAN error file for the whole failure streak.
    const QStringList errorFiles = QDir(work).entryList({QStringLiteral("SIM1234?.??R")}, QDir::Files);
    ASSERT_EQ(errorFiles.size(), 1) << errorFiles.join(' ').toStdString();
    const QByteArray lanError = station->file(errorFiles.first());
    EXPECT_TRUE(lanError.contains(";001-001;LAN- / INTERNET-FEHLER;")) << lanError.constData();
    EXPECT_TRUE(lanError.endsWith(";21;SIM1234-001;\r\n")) << lanError.constData();

    // Nothing was sent, so nothing left the station.
    EXPECT_EQ(station->file(QString::fromLatin1(otherWeekdayFile(0))), kWaitingA);
    EXPECT_EQ(station->file(QString::fromLatin1(otherWeekdayFile(1))), kWaitingB);

    // Still measuring: a reading above TempMax changes the colour and writes
    // the next seven records.
    const auto ownLines = [&] {
        qsizetype lines = 0;
        for (const QString &name : recordFiles())
            if (name.toLatin1() != otherWeekdayFile(0) && name.toLatin1() != otherWeekdayFile(1))
                lines += station->file(name).count('\n');
        return lines;
    };
    ASSERT_TRUE(StationProcess::waitUntil([&] { return ownLines() >= 7; }, kStartMs));
    writeSim("raw_temp=9000\nraw_humidity=1500\n");
    EXPECT_TRUE(StationProcess::waitUntil([&] { return ownLines() >= 14; }, kStartMs)) << ownLines();
    const qsizetype attempts = log().count("---->Verbindungsaufbau");
    EXPECT_TRUE(StationProcess::waitUntil([&] { return log().count("---->Verbindungsaufbau") > attempts; },
                                          StationProcess::realMs(15000)));
    EXPECT_TRUE(station->running());
    ASSERT_TRUE(station->shutdown());
    EXPECT_EQ(station->control(), "IDLE");
}

// The station's HTTP-proxy exchange is its own GET-style one, which no
// packaged proxy speaks; the test's scripted proxy asks for authorisation,
// answers the second request "200 OK" and then relays to the stand-in.
TEST_F(StationReport, ReportThroughAnHttpProxyArrivesWhole)
{
    HeronStandin server;
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    server.setUploadDir(uploads);
    ASSERT_TRUE(server.start());
    ScriptedHttpProxy proxy;
    proxy.setScript({{"HTTP/1.1 407 Proxy Authentication Required\r\n"
                      "Proxy-Authenticate: Digest realm=\"station-digest\", nonce=\"e2e\", qop=\"auth\", "
                      "algorithm=\"MD5\"\r\n\r\n"},
                     {"HTTP/1.1 200 OK\r\n\r\n", false, true}});
    proxy.setRelayTarget(server.port());
    ASSERT_TRUE(proxy.start());
    configure(server.port());
    ProxyConfigFile::Values values;
    values.ProxyHost = "127.0.0.1";
    values.ProxyPort = QByteArray::number(proxy.port());
    values.ProxyUser = "bob";
    values.ProxyPassword = "geheim";
    values.UseProxy = true;
    values.Http = true;
    station->writeFile(QStringLiteral("proxyconfig.cfg"), ProxyConfigFile::format(values));
    station->start();

    ASSERT_TRUE(server.waitUntil(
        [](const HeronStandin &s) {
            for (const HeronStandin::Received &r : s.frames())
                if (r.payload == "*ENDE*")
                    return true;
            return false;
        },
        kStartMs))
        << station->output().constData() << log().constData();

    // The way through the proxy: two requests, the second with Digest.
    const QByteArray target = "127.0.0.1:" + QByteArray::number(server.port());
    const QList<QByteArray> requests = proxy.requests();
    ASSERT_GE(requests.size(), 2);
    EXPECT_EQ(requests[0], "GET " + target + "/ HTTP/1.1\r\n Host: " + target +
                               "\r\n Proxy-Authorization: Basic Ym9iOmdlaGVpbQ==\r\n\r\n");
    EXPECT_TRUE(requests[1].startsWith("GET " + target + " HTTP/1.1 Host: " + target +
                                       " Proxy-Authorization: Digest username=\"bob\", realm=\"station-digest\""))
        << requests[1].constData();
    EXPECT_EQ(server.frames().first().type, 50);

    // The waiting files arrive byte for byte and leave the station.
    const QDir data(QDir(uploads).filePath(QStringLiteral("data")));
    EXPECT_EQ(readAll(data.filePath(QString::fromLatin1(otherWeekdayFile(0)))), kWaitingA);
    EXPECT_EQ(readAll(data.filePath(QString::fromLatin1(otherWeekdayFile(1)))), kWaitingB);
    EXPECT_TRUE(StationProcess::waitUntil(
        [&] { return !QFile::exists(QDir(work).filePath(QString::fromLatin1(otherWeekdayFile(1)))); }, kStartMs));

    // The exchange is logged without the password, for the owner only.
    const QByteArray proxyLog = station->file(QStringLiteral("proxylog.txt"));
    EXPECT_TRUE(proxyLog.contains("\r\nA1=bob:station-digest:*****\r\n")) << proxyLog.constData();
    EXPECT_FALSE(proxyLog.contains("geheim"));
    EXPECT_FALSE(proxyLog.contains("Ym9iOmdlaGVpbQ==")); // nor its Base64
    EXPECT_EQ(QFileInfo(QDir(work).filePath(QStringLiteral("proxylog.txt"))).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    ASSERT_TRUE(station->shutdown());
}

// The server's copy of the configuration names the station "../../Z": the
// station keeps its identifier, writes it into r2arodire.cfg in place of the
// received one and logs why; the other values are taken.
TEST_F(StationReport, DownloadedIdentifierThatLeavesTheFolderIsRefused)
{
    HeronStandin server;
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    const QString served = tmp.filePath(QStringLiteral("served"));
    QDir().mkpath(uploads);
    QDir().mkpath(served + QStringLiteral("/seconfig"));
    server.setUploadDir(uploads);
    server.setServeDir(served);
    ASSERT_TRUE(server.start());
    configure(server.port());
    QList<QByteArray> values = StationProcess::configValues();
    values[12] = "../../Z";
    values[13] = "127.0.0.1:" + QByteArray::number(server.port());
    values[15] = "6";
    {
        QFile f(served + QStringLiteral("/seconfig/SIM1234.cfg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(StationProcess::configFile(values));
    }
    station->start();

    ASSERT_TRUE(
        station->waitForFileContaining(QStringLiteral("zav_sensor_logfile.log"),
                                       "Konfiguration vom Server: HERON-Kennung abgewiesen, bisheriger Wert "
                                       "bleibt: Kennung ist kein einfacher Dateiname\r\n",
                                       kStartMs))
        << station->output().constData() << log().constData();
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] { return station->file(QStringLiteral("r2arodire.cfg")).split('\n').size() == 35; }, kStartMs));
    const QByteArrayList lines = station->file(QStringLiteral("r2arodire.cfg")).split('\n');
    EXPECT_EQ(lines[25], "SIM1234\r");
    EXPECT_EQ(lines[31], "6\r"); // the interval came
    EXPECT_TRUE(QDir(tmp.filePath(QStringLiteral("..")))
                    .entryList({QStringLiteral("Z?.?MS"), QStringLiteral("Z?.??R")})
                    .isEmpty());
    ASSERT_TRUE(station->shutdown());
}
