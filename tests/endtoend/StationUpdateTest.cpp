#include "endtoend/StationProcess.h"

#include "HeronStandin.h"

#include "common/Text8.h"
#include "platform/UpdateFallback.h"
#include "reporting/ReportingTexts.h"
#include "station/StartupTexts.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

// The real station receives a new build of itself from the stand-in HERON
// server, ends, and the scheduled restart puts the new build in place of the
// program and starts it in the same working directory, where it measures
// again. The restart delay is shortened for the test.
namespace {

constexpr int kStartMs = 20000;
// The program goes in frames of at most 752 bytes, each read byte by byte and
// answered: some seconds for a program of tens of megabytes (more in a
// sanitizer build).
constexpr int kDeliveryMs = 180000;
constexpr int kRestartDelayMs = 20000; // station time (ten times faster than real time)

QByteArray waitingRecordFile(int hourLetterOffset)
{
    const int weekday = (QDate::currentDate().dayOfWeek() + 3) % 7;
    return "SIM1234" + QByteArray::number(weekday) + '.' + char('A' + hourLetterOffset) + "MS";
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Processes whose executable is `exe` (also after it was replaced) or whose
// command line holds `marker`; by their ids, nothing else.
QList<qint64> processesOf(const QString &exe, const QByteArray &marker)
{
    QList<qint64> out;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        bool ok = false;
        const qint64 pid = e.toLongLong(&ok);
        if (!ok || pid == QCoreApplication::applicationPid())
            continue;
        const QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        const QByteArray cmdline = readAll(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (target == exe || target == exe + QStringLiteral(" (deleted)") || (!marker.isEmpty() && cmdline.contains(marker)))
            out.append(pid);
    }
    return out;
}

// Parent and session of a process (fields 4 and 6 of its stat line).
std::pair<qint64, qint64> parentAndSession(qint64 pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return f.size() > 3 ? std::pair{f[1].toLongLong(), f[3].toLongLong()} : std::pair<qint64, qint64>{0, 0};
}

QString cwdOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget();
}

struct StationUpdate : ::testing::Test
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString bin = tmp.filePath(QStringLiteral("bin"));
    const QString exe = QDir(bin).filePath(QStringLiteral("klimawarte"));
    const QString serve = tmp.filePath(QStringLiteral("serve"));
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    std::unique_ptr<StationProcess> station;
    HeronStandin server;
    quint16 viewerPort = 0;

    void SetUp() override
    {
        QDir().mkpath(bin);
        QDir().mkpath(serve + QStringLiteral("/seconfig"));
        QDir().mkpath(uploads);
        ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
        station = std::make_unique<StationProcess>(exe, work, tmp.filePath(QStringLiteral("service")));
        viewerPort = StationProcess::freeViewerPorts();
        ASSERT_NE(viewerPort, 0);
        station->setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
        station->setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
        station->setEnv(QStringLiteral("KLIMAWARTE_RESTART_DELAY_MS"), QString::number(kRestartDelayMs));
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=6000\nraw_humidity=1500\n");
        f.close();
        // Two records waiting: the station reports at once.
        station->writeFile(QString::fromLatin1(waitingRecordFile(0)), "$0000000000001.g18.00;%;;21;SIM1234\r\n");
        station->writeFile(QString::fromLatin1(waitingRecordFile(1)), "$0000000000002.g18.00;%;;21;SIM1234\r\n");
        server.setUploadDir(uploads);
        server.setServeDir(serve);
        ASSERT_TRUE(server.start());
    }

    // Settings of station SIM1234 that report to the stand-in server.
    QList<QByteArray> reportingValues() const
    {
        QList<QByteArray> values = StationProcess::configValues();
        values[12] = "SIM1234";
        values[13] = "127.0.0.1:" + QByteArray::number(server.port());
        return values;
    }

    // The station's configuration, and the server's copy of it that asks
    // for the updates.
    void configureWithUpdate(const QList<QByteArray> &values)
    {
        station->writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile(values));
        QFile cfg(serve + QStringLiteral("/seconfig/SIM1234.cfg"));
        ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
        cfg.write(StationProcess::configFile(values) + "UPDATE\r\n");
    }

    // The station update the server offers, as the server's file.
    void serveUpdate(const QByteArray &bytes)
    {
        QFile upd(serve + QStringLiteral("/seconfig/Klimawarte.upd"));
        ASSERT_TRUE(upd.open(QIODevice::WriteOnly));
        ASSERT_EQ(upd.write(bytes), bytes.size());
    }

    // Until the update has arrived whole at the station; then the server
    // offers it no more.
    bool waitForUpdateDelivered(int timeoutMs)
    {
        const bool delivered = server.waitUntil(
            [](const HeronStandin &s) {
                for (const HeronStandin::Served &f : s.served())
                    if (f.name == "seconfig\\Klimawarte.upd" && f.delivered)
                        return true;
                return false;
            },
            timeoutMs);
        QFile::remove(serve + QStringLiteral("/seconfig/Klimawarte.upd"));
        return delivered;
    }

    // The station's log as it was written: the parts that it sent to the
    // server (and cut off), then what is still on disk. Exact once the
    // station has ended.
    QByteArray wholeLog() const
    {
        QByteArray out;
        for (const HeronStandin::Upload &u : server.uploads())
            if (u.name.startsWith("sensorlogfile\\"))
                out += u.content;
        return out + station->file(QStringLiteral("zav_sensor_logfile.log"));
    }

    // The first text after the greeting that a viewer gets from the
    // station on one of its viewer ports; empty when none came in time.
    QByteArray viewerMeasurement(int timeoutMs) const
    {
        QByteArray time;
        StationProcess::waitUntil(
            [&] {
                for (quint16 port = viewerPort; port < viewerPort + 4 && time.isEmpty(); ++port) {
                    QTcpSocket viewer;
                    viewer.connectToHost(QHostAddress::LocalHost, port);
                    if (!viewer.waitForConnected(500))
                        continue;
                    QByteArray got;
                    for (int i = 0; i < 2 && viewer.waitForReadyRead(StationProcess::realMs(20000)); ++i) {
                        got = viewer.readAll();
                        if (i == 1)
                            time = got;
                        viewer.write("OK");
                        viewer.waitForBytesWritten(1000);
                        if (got != "<ANFANG>" && i == 0)
                            break;
                    }
                }
                return !time.isEmpty();
            },
            timeoutMs);
        return time;
    }

    void TearDown() override
    {
        server.stop();
        // Whatever this test started and still runs: the station, the
        // restart helper, the restarted station.
        for (qint64 pid : processesOf(exe, tmp.path().toLocal8Bit()))
            ::kill(pid_t(pid), SIGKILL);
        station.reset();
    }
};

} // namespace

TEST_F(StationUpdate, NewBuildReplacesTheProgramAndRunsAfterTheDelay)
{
    const QList<QByteArray> values = reportingValues();
    // The server's configuration asks for the updates; its station update is
    // a new build of the program (the same code with a marker behind it).
    ASSERT_NO_FATAL_FAILURE(configureWithUpdate(values));
    const QByteArray newBuild = readAll(exe) + "\nnew build of the station program\n";
    ASSERT_NO_FATAL_FAILURE(serveUpdate(newBuild));
    // What a replace that was cut off left beside the program (of a helper
    // whose process id no process has) goes at the start.
    const QStringList cutOff{exe + QStringLiteral(".new4194305"), exe + QStringLiteral(".old.new4194305")};
    for (const QString &left : cutOff) {
        QFile f(left);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("cut off"), 7);
    }

    QElapsedTimer clock;
    clock.start();
    station->start();
    const qint64 oldPid = station->pid();

    // The update arrives whole; then the server offers it no more.
    ASSERT_TRUE(waitForUpdateDelivered(kDeliveryMs)) << station->output().constData();
    const qint64 delivered = clock.elapsed();
    for (const QString &left : cutOff)
        EXPECT_FALSE(QFileInfo::exists(left)) << qPrintable(left);

    // The station ends by itself.
    ASSERT_TRUE(station->waitForExit(StationProcess::realMs(60000))) << station->output().constData();
    const qint64 ended = clock.elapsed();
    EXPECT_EQ(station->process().exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(station->file(QStringLiteral("zav_sensor_logfile.log"))
                    .contains("Programm beendet f\xFCr REBOOT nach Update!"));
    EXPECT_TRUE(station->file(QStringLiteral("restart.bat")).startsWith("cd " + work.toLocal8Bit() + "\r\n"));
    EXPECT_TRUE(station->file(QStringLiteral("jobat.bat")).startsWith("AT "));
    EXPECT_FALSE(station->file(QStringLiteral("SIM1234.cfg")).isEmpty());
    EXPECT_EQ(readAll(exe), readAll(QStringLiteral(KLIMAWARTE_EXE))); // not yet replaced

    // After the delay the new build is the program and runs in the same
    // directory.
    ASSERT_TRUE(StationProcess::waitUntil([&] { return readAll(exe) == newBuild; }, 60000));
    const qint64 replaced = clock.elapsed();
    qint64 newPid = 0;
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] {
            for (qint64 pid : processesOf(exe, QByteArray()))
                if (pid != oldPid && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == exe)
                    newPid = pid;
            return newPid != 0;
        },
        10000));
    EXPECT_EQ(cwdOf(newPid), QFileInfo(work).canonicalFilePath());
    // It is no child of this test and runs in a session of its own: what
    // started it outlived the station program.
    const auto [parent, session] = parentAndSession(newPid);
    EXPECT_NE(parent, QCoreApplication::applicationPid());
    EXPECT_NE(session, parentAndSession(QCoreApplication::applicationPid()).second);
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("Klimawarte.upd"))));
    EXPECT_TRUE(QFileInfo(exe).isExecutable());
    // The previous program stays beside it.
    EXPECT_EQ(readAll(exe + QLatin1String(UpdateFallback::KeptProgramSuffix)),
              readAll(QStringLiteral(KLIMAWARTE_EXE)));

    // It measures: a viewer gets its measurement messages.
    const QByteArray time = viewerMeasurement(30000);
    ASSERT_FALSE(time.isEmpty());
    const qint64 measured = clock.elapsed();
    // The new program reports at once with the identifier copy of the old.
    EXPECT_TRUE(server.waitUntil(
        [](const HeronStandin &s) {
            for (const HeronStandin::Upload &u : s.uploads())
                if (u.name == "seconfig\\SIM1234.cfg")
                    return true;
            return false;
        },
        kStartMs));

    std::fprintf(stderr,
                 "update delivered after %lld ms, old program ended %lld ms, program replaced %lld ms "
                 "(%lld ms after the end), new program measuring %lld ms (measurement time %s); "
                 "restart delay %d ms station time\n",
                 qlonglong(delivered), qlonglong(ended), qlonglong(replaced), qlonglong(replaced - ended),
                 qlonglong(measured), time.constData(), kRestartDelayMs);
    RecordProperty("restart_after_end_ms", int(replaced - ended));

    // End the new program the orderly way, still within the time the
    // restart watches it: an orderly end is no failure, nothing is put back.
    station->writeControl(QByteArray("SHUTDOWN\0", 9));
    EXPECT_TRUE(StationProcess::waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(newPid)); },
                                          20000));
    EXPECT_TRUE(StationProcess::waitUntil(
        [&] { return processesOf(exe, tmp.path().toLocal8Bit()).isEmpty(); }, 20000));
    EXPECT_EQ(readAll(exe), newBuild);
    EXPECT_FALSE(wholeLog().contains(Text8::cp(StartupTexts::FallbackLog)));
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QLatin1String(UpdateFallback::NoteFile))));
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QLatin1String(UpdateFallback::FailedUpdateFile))));
}

// A served update that is no program for this machine (3000 random bytes)
// never takes the program's place: the station drops it with one log line,
// schedules no restart and goes on measuring and reporting.
TEST_F(StationUpdate, UpdateThatIsNoProgramIsDroppedAndTheStationGoesOn)
{
    QList<QByteArray> values = reportingValues();
    values[1] = "30"; // Temp-Max: the raised reading below gives an alarm
    ASSERT_NO_FATAL_FAILURE(configureWithUpdate(values));
    QByteArray garbage(3000, '\0');
    QRandomGenerator rng(3000);
    for (char &b : garbage)
        b = char(rng.bounded(256));
    ASSERT_NO_FATAL_FAILURE(serveUpdate(garbage));
    const QByteArray program = readAll(exe);

    station->start();
    ASSERT_TRUE(waitForUpdateDelivered(kStartMs)) << station->output().constData();

    const QByteArray dropped = "Update Klimawarte.upd ist kein Programm f\xFCr diesen Rechner: verworfen, "
                               "bisheriges Programm l\xE4uft weiter\r\n";
    ASSERT_TRUE(station->waitForFileContaining(QStringLiteral("zav_sensor_logfile.log"), dropped, kStartMs))
        << station->output().constData();
    const QByteArray log = station->file(QStringLiteral("zav_sensor_logfile.log"));
    EXPECT_EQ(log.count(dropped), 1);
    EXPECT_FALSE(log.contains("REBOOT")) << log.constData();
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("Klimawarte.upd"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("restart.bat"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("jobat.bat"))));
    EXPECT_EQ(readAll(exe), program);

    // It goes on: a reading above Temp-Max raises an alarm, whose error file
    // reaches the server in the next report.
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=9000\nraw_humidity=1500\n");
    }
    EXPECT_TRUE(server.waitUntil(
        [](const HeronStandin &s) {
            for (const HeronStandin::Upload &u : s.uploads())
                if (u.name.startsWith("data\\SIM1234") && u.name.endsWith('R'))
                    return true;
            return false;
        },
        3 * kStartMs))
        << station->file(QStringLiteral("zav_sensor_logfile.log")).constData();
    EXPECT_TRUE(station->running());
    EXPECT_EQ(processesOf(exe, tmp.path().toLocal8Bit()).size(), 1); // no restart helper waits

    // An orderly end leaves the control value to no update.
    station->writeControl(QByteArray("SHUTDOWN\0", 9));
    EXPECT_TRUE(station->waitForExit(StationProcess::realMs(20000)));
    EXPECT_EQ(station->control(), "IDLE");
}

// An update that passes the header check but cannot run: the head of the
// station's own program and a shared library of this machine (both die of
// SIGSEGV at once), and a program that ends with status 255 after a second
// (a main that returned -1). The station ends for the restart, the new
// program fails, the previous program is put back and runs again, says so
// once in the log at its start, and drops the same update that the server
// offers again in its next report.
namespace {

struct UnrunnableUpdate
{
    const char *name;
    QByteArray (*bytes)(const QByteArray &program);
    // How the new program ended, as the put-back program's log line says it.
    const char *how;
    const char *code;
};

void PrintTo(const UnrunnableUpdate &u, std::ostream *os)
{
    *os << u.name;
}

QByteArray libraryOfThisMachine()
{
    // A library this test program itself has loaded.
    for (const QByteArray &line : readAll(QStringLiteral("/proc/self/maps")).split('\n')) {
        if (line.contains("/libz.so"))
            return readAll(QString::fromLocal8Bit(line.mid(line.indexOf('/'))));
    }
    return readAll(QStringLiteral("/usr/lib/x86_64-linux-gnu/libz.so.1"));
}

struct StationUpdateFallback : StationUpdate, ::testing::WithParamInterface<UnrunnableUpdate>
{
};

} // namespace

TEST_P(StationUpdateFallback, PreviousProgramRunsAgainAndTheSameUpdateIsDropped)
{
    const QList<QByteArray> values = reportingValues();
    ASSERT_NO_FATAL_FAILURE(configureWithUpdate(values));
    const QByteArray program = readAll(exe);
    const QByteArray update = GetParam().bytes(program);
    ASSERT_GT(update.size(), 1000);
    // Offered in every report.
    ASSERT_NO_FATAL_FAILURE(serveUpdate(update));

    station->start();
    const qint64 oldPid = station->pid();
    // The header passes: the station ends for the restart.
    ASSERT_TRUE(station->waitForExit(kDeliveryMs)) << station->output().constData();
    const QByteArray reboot = "Programm beendet f\xFCr REBOOT nach Update!";
    EXPECT_TRUE(wholeLog().contains(reboot));

    // The new program fails; the previous one is back in its place and says
    // so at its start.
    const QByteArray putBack = Text8::cp(StartupTexts::FallbackLog) + Text8::cp(GetParam().how) +
                               GetParam().code + Text8::cp(StartupTexts::FallbackProgram) +
                               exe.toLocal8Bit() + Text8::cp(StartupTexts::FallbackEnd) + "\r\n";
    ASSERT_TRUE(StationProcess::waitUntil([&] { return wholeLog().contains(putBack); }, 60000))
        << wholeLog().constData();
    EXPECT_EQ(readAll(exe), program);
    EXPECT_TRUE(QFileInfo(exe).isExecutable());
    EXPECT_FALSE(QFileInfo::exists(exe + QLatin1String(UpdateFallback::KeptProgramSuffix)));
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QLatin1String(UpdateFallback::NoteFile))));
    EXPECT_TRUE(QFileInfo::exists(QDir(work).filePath(QLatin1String(UpdateFallback::FailedUpdateFile))));
    qint64 againPid = 0;
    for (qint64 pid : processesOf(exe, QByteArray()))
        if (pid != oldPid)
            againPid = pid;
    EXPECT_NE(againPid, 0);

    // It measures.
    EXPECT_FALSE(viewerMeasurement(30000).isEmpty());

    // Its first report brings the same update again: dropped, no restart.
    const QByteArray dropped = Text8::cp(ReportingTexts::UpdateFailedBefore) + "\r\n";
    ASSERT_TRUE(StationProcess::waitUntil([&] { return wholeLog().contains(dropped); }, 60000))
        << wholeLog().constData();
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("Klimawarte.upd"))));
    EXPECT_EQ(readAll(exe), program);
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(againPid)));

    station->writeControl(QByteArray("SHUTDOWN\0", 9));
    EXPECT_TRUE(StationProcess::waitUntil(
        [&] { return processesOf(exe, tmp.path().toLocal8Bit()).isEmpty(); }, 20000));
    server.waitUntil([](const HeronStandin &h) { return !h.connectionOpen(); }, 10000);
    const QByteArray log = wholeLog();
    EXPECT_EQ(log.count(reboot), 1) << log.constData();
    EXPECT_EQ(log.count(putBack), 1) << log.constData();
}

INSTANTIATE_TEST_SUITE_P(
    HeaderPassesButCannotRun, StationUpdateFallback,
    ::testing::Values(
        UnrunnableUpdate{"HeadOfTheOwnProgram", [](const QByteArray &p) { return p.left(4096); },
                         StartupTexts::FallbackSignal, "11"},
        UnrunnableUpdate{"SharedLibrary", [](const QByteArray &) { return libraryOfThisMachine(); },
                         StartupTexts::FallbackSignal, "11"},
        UnrunnableUpdate{"EndsWithStatus255",
                         [](const QByteArray &) { return readAll(QStringLiteral(FAILINGUPDATE_EXE)); },
                         StartupTexts::FallbackStatus, "255"}),
    [](const ::testing::TestParamInfo<UnrunnableUpdate> &info) { return std::string(info.param.name); });
