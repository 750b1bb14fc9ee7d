#include "endtoend/StationProcess.h"

#include "support/CuttingRelay.h"
#include "support/FileShadow.h"
#include "HeronStandin.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>
#include <mutex>
#include <random>

// The real station reporting through a relay that cuts the connection at
// random frames, for many report sessions. The temperature of the simulated
// stick goes one degree above Temp-Max and back at random moments (a step
// the plausibility test takes at once): every change writes
// records, every return into the band (and a change while an alarm is
// raised) forces a report, a longer stay above the band raises an alarm with
// its error file, and every cut connection writes a LAN error file and
// reports again about 5 s later.
//
// Every version of every record, error and log file the station had is kept
// through hard links. Nothing may leave the station before the server stored
// it: when a version is deleted or replaced, each of its lines must already
// be at the server (or, after a cut of the log, still in the new file). At
// the end every line the station wrote is at the server or still waiting in
// the station's folder, and once the cuts stop the lines of the record files
// all reach the server.
//
// KLIMAWARTE_RELAY_SESSIONS sets the number of report sessions (80 unless
// told otherwise), KLIMAWARTE_RELAY_SEED the seed of the cuts and of the
// temperature changes.
namespace {

constexpr int kDefaultSessions = 80;

// The station's clock runs twenty times faster here (libfaketime), so that a
// failed session's 5 s pause takes a quarter of a second.
constexpr int kSpeed = 20;
int realMs(int stationMs)
{
    return QFile::exists(StationProcess::fasterClockLibrary()) ? stationMs / kSpeed : stationMs;
}

QByteArray otherWeekdayFile(int hourLetterOffset)
{
    const int weekday = (QDate::currentDate().dayOfWeek() + 3) % 7;
    return "SIM1234" + QByteArray::number(weekday) + '.' + char('A' + hourLetterOffset) + "MS";
}

enum class FileKind { Record, Error, Log, Other };

FileKind kindOf(const QString &name)
{
    static const QRegularExpression record(QStringLiteral("^SIM1234\\d\\.[A-Za-z]MS$"));
    static const QRegularExpression error(QStringLiteral("^SIM1234\\d\\.\\w\\wR$"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (record.match(name).hasMatch())
        return FileKind::Record;
    if (error.match(name).hasMatch())
        return FileKind::Error;
    if (name == QLatin1String("zav_sensor_logfile.log"))
        return FileKind::Log;
    return FileKind::Other;
}

QByteArray serverName(const QString &name)
{
    return kindOf(name) == FileKind::Log ? QByteArray("sensorlogfile\\SIM1234.log")
                                         : "data\\" + name.toLatin1();
}

QList<QByteArray> linesOf(const QByteArray &content)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : content.split('\n'))
        if (!line.isEmpty())
            lines << line;
    return lines;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int envNumber(const char *name, int otherwise)
{
    bool ok = false;
    const int n = qEnvironmentVariable(name).toInt(&ok);
    return ok && n > 0 ? n : otherwise;
}

} // namespace

TEST(ReportRelay, CutConnectionsLoseNoLineAndNoFileLeavesBeforeTheServerStoredIt)
{
    const int sessions = envNumber("KLIMAWARTE_RELAY_SESSIONS", kDefaultSessions);
    const quint32 seed = quint32(envNumber("KLIMAWARTE_RELAY_SEED", 20261210));

    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    const QString bin = tmp.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    const QString exe = QDir(bin).filePath(QStringLiteral("klimawarte"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
    StationProcess station(exe, work, tmp.filePath(QStringLiteral("service")));
    const quint16 viewerPort = StationProcess::freeViewerPorts();
    ASSERT_NE(viewerPort, 0);
    station.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
    station.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    station.setEnv(QStringLiteral("FAKETIME"), QStringLiteral("+0 x%1").arg(kSpeed));

    const auto writeSim = [&](int rawTemp) {
        QFile f(sim);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate)
               && f.write("raw_temp=" + QByteArray::number(rawTemp) + "\nraw_humidity=1500\n") > 0;
    };
    // A step of one degree passes the plausibility test at once.
    constexpr int kInBand = 7000;    // 29.4 degrees
    constexpr int kAboveBand = 7100; // 30.4 degrees, above Temp-Max 30
    ASSERT_TRUE(writeSim(kInBand));

    HeronStandin server;
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(uploads);
    server.setUploadDir(uploads);
    ASSERT_TRUE(server.start());
    CuttingRelay relay(server.port(), seed, 0.03, 0.3);
    ASSERT_TRUE(relay.start());

    QList<QByteArray> values = StationProcess::configValues();
    values[1] = "30";
    values[13] = "127.0.0.1:" + QByteArray::number(relay.port());
    values[15] = "1";
    station.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(values));
    // Two record files of earlier hours: the first report comes at once.
    station.writeFile(QString::fromLatin1(otherWeekdayFile(0)), "$00000001011.g18.00;\xF8"
                                                                "C;;21;SIM1234\r\n");
    station.writeFile(QString::fromLatin1(otherWeekdayFile(1)), "$00000002011.g18.50;\xF8"
                                                                "C;;21;SIM1234\r\n");

    // Lines at the server under each server-side name.
    const auto uploaded = [&server] {
        QSet<QByteArray> lines;
        for (const HeronStandin::Upload &u : server.uploads())
            for (const QByteArray &line : linesOf(u.content))
                lines.insert(u.name + '\0' + line);
        return lines;
    };
    std::mutex violationsMutex;
    QStringList violations;
    int versionsLeft = 0;
    FileShadow shadow(
        work, tmp.filePath(QStringLiteral("shadow")),
        [](const QString &name) { return kindOf(name) != FileKind::Other; },
        [&](const QString &name, const QByteArray &content) {
            const QSet<QByteArray> atServer = uploaded();
            const QList<QByteArray> stillHere = linesOf(readAll(QDir(work).filePath(name)));
            std::lock_guard lock(violationsMutex);
            ++versionsLeft;
            for (const QByteArray &line : linesOf(content))
                if (!atServer.contains(serverName(name) + '\0' + line) && !stillHere.contains(line))
                    violations << name + QStringLiteral(" left with a line the server did not have: ")
                                      + QString::fromLatin1(line);
        });
    ASSERT_TRUE(shadow.start());

    station.start();
    ASSERT_TRUE(station.running());

    // Moves the temperature across the band's edge at random moments until
    // the sessions are done (or the time is up).
    std::mt19937 random(seed);
    // Mostly a few evaluations (one about every 2 s); now and then long
    // enough above the band to raise the alarm.
    std::uniform_int_distribution<int> holdMs(realMs(2500), realMs(6000));
    std::bernoulli_distribution longHold(0.1);
    bool above = false;
    const int timeLimitMs = realMs(10000) + sessions * realMs(30000);
    QElapsedTimer elapsed;
    elapsed.start();
    while (relay.figures().sessions < sessions && elapsed.elapsed() < timeLimitMs && station.running()) {
        const int hold = above && longHold(random) ? realMs(25000) : holdMs(random);
        StationProcess::waitUntil([&] { return relay.figures().sessions >= sessions; }, hold);
        above = !above;
        ASSERT_TRUE(writeSim(above ? kAboveBand : kInBand));
    }
    EXPECT_GE(relay.figures().sessions, sessions) << station.output().constData();

    // Then reports without cuts (back into the band forces one): every
    // record line written so far reaches the server.
    relay.setCutting(false);
    StationProcess::waitUntil([&] { return !relay.inSession(); }, realMs(120000));
    QSet<QByteArray> recordLines;
    for (const FileShadow::Version &v : shadow.versions())
        if (kindOf(v.name) == FileKind::Record)
            for (const QByteArray &line : linesOf(readAll(v.path)))
                recordLines.insert(serverName(v.name) + '\0' + line);
    if (!above) {
        ASSERT_TRUE(writeSim(kAboveBand));
        QThread::msleep(realMs(8000));
    }
    ASSERT_TRUE(writeSim(kInBand));
    const auto recordsArrived = [&] {
        const QSet<QByteArray> atServer = uploaded();
        for (const QByteArray &line : recordLines)
            if (!atServer.contains(line))
                return false;
        return true;
    };
    EXPECT_TRUE(StationProcess::waitUntil(recordsArrived, realMs(120000)));
    ASSERT_TRUE(station.shutdown());
    shadow.stop();

    // Every line of every version: at the server, or still in the folder.
    const QSet<QByteArray> atServer = uploaded();
    int compared[3] = {};
    int waiting[3] = {};
    for (const FileShadow::Version &v : shadow.versions()) {
        const FileKind kind = kindOf(v.name);
        const QList<QByteArray> stillHere = linesOf(readAll(QDir(work).filePath(v.name)));
        for (const QByteArray &line : linesOf(readAll(v.path))) {
            ++compared[int(kind)];
            if (atServer.contains(serverName(v.name) + '\0' + line))
                continue;
            if (stillHere.contains(line)) {
                ++waiting[int(kind)];
                continue;
            }
            violations << v.name + QStringLiteral(" lost the line ") + QString::fromLatin1(line);
        }
    }
    const CuttingRelay::Figures f = relay.figures();
    std::printf("report sessions %d (%d uncut), cuts %d: %d before a frame, %d before its answer, %d after it; "
                "at close frames %d, %d, %d; seed %u\n",
                f.sessions, relay.uncutSessions(), f.cuts, f.cutsByKind[0], f.cutsByKind[1], f.cutsByKind[2],
                f.closeCutsByKind[0], f.closeCutsByKind[1], f.closeCutsByKind[2], seed);
    std::printf("lines compared: %d record, %d error, %d log (still waiting at the station: %d, %d, %d); "
                "%lld file versions, %d left the station; %lld uploads\n",
                compared[0], compared[1], compared[2], waiting[0], waiting[1], waiting[2],
                qlonglong(shadow.versions().size()), versionsLeft, qlonglong(server.uploads().size()));
    std::fflush(stdout);

    EXPECT_EQ(shadow.missed(), 0);
    EXPECT_GT(f.closeCutsByKind[CuttingRelay::BeforeAnswer], 0);
    EXPECT_GT(f.closeCutsByKind[CuttingRelay::AfterAnswer], 0);
    EXPECT_GT(compared[0], 0);
    EXPECT_GT(compared[1], 0);
    std::lock_guard lock(violationsMutex);
    EXPECT_TRUE(violations.isEmpty()) << violations.mid(0, 20).join(QLatin1Char('\n')).toStdString();
}
