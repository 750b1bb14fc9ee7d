#include "endtoend/StationProcess.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <iostream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// The deadlock watchdog of the real program: when the sensor stops
// answering, the measurement time stands still; after 361 supervision ticks
// the station starts a new copy of its executable in its working directory
// and ends. The new copy must outlive the old one and be the only station
// that runs there, and it must measure again once the sensor answers.
//
// 361 ticks of 5 s are half an hour of the station's time: the clock runs
// two hundred times faster here, so that they pass in about 10 s, once while
// the station measures (no restart) and once after the sensor fell silent.
namespace {

constexpr char kFasterClock[] = "+0 x200";
constexpr int kRate = 200;
constexpr int kTickMs = 5000;
constexpr int kWatchdogTicks = 361;

// What /proc tells about one process.
struct ProcInfo
{
    qint64 pid = 0;
    qint64 session = 0;
    char state = '?';
};

ProcInfo procInfo(qint64 pid)
{
    ProcInfo info;
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return info;
    const QByteArray stat = f.readAll();
    // pid (comm) state ppid pgrp session ...: comm may hold blanks.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return info;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 4)
        return info;
    info.pid = pid;
    info.state = fields[0].isEmpty() ? '?' : fields[0][0];
    info.session = fields[3].toLongLong();
    return info;
}

// The live processes (zombies left out) that run the executable file.
QList<qint64> processesRunning(const QString &exe)
{
    const QString wanted = QFileInfo(exe).canonicalFilePath();
    QList<qint64> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) != wanted)
            continue;
        const char state = procInfo(pid).state;
        if (state != 'Z' && state != 'X' && state != '?')
            pids << pid;
    }
    return pids;
}

QString workingDirectoryOf(qint64 pid)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
}

// Whatever runs the test's copy of the program when the test ends is ended
// and reaped. This process is the subreaper of everything it starts, so the
// detached copy a restart leaves becomes its child and cannot slip away.
struct ProcessSweep
{
    QString exe;

    explicit ProcessSweep(QString executable)
        : exe(std::move(executable))
    {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    ~ProcessSweep()
    {
        for (int round = 0; round < 100; ++round) {
            const QList<qint64> left = processesRunning(exe);
            for (qint64 pid : left)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            // Reaps the orphans that became this process's children; the
            // program copies the test started itself are QProcess's.
            for (qint64 pid : left)
                ::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG);
            if (left.isEmpty())
                break;
            QThread::msleep(20);
        }
        EXPECT_TRUE(processesRunning(exe).isEmpty()) << "a station copy of this test still runs";
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
};

int recordLines(const QDir &work)
{
    int lines = 0;
    for (const QString &name : work.entryList({QStringLiteral("SIM1234?.?MS")}, QDir::Files)) {
        QFile f(work.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            lines += static_cast<int>(f.readAll().count('\n'));
    }
    return lines;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

} // namespace

TEST(WatchdogRestart, LeavesExactlyOneStationInTheDirectoryAndItMeasures)
{
    if (!QFile::exists(StationProcess::fasterClockLibrary()))
        GTEST_SKIP() << "libfaketime is missing: half an hour of supervision ticks in real time";

    QTemporaryDir tmp;
    const QString bin = tmp.filePath(QStringLiteral("bin"));
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    QDir().mkpath(bin);
    // A copy of the program of this test alone: the start-up hunt of the new
    // copy and the sweep below look for this file.
    const QString exe = QDir(bin).filePath(QStringLiteral("klimawarte"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
    ProcessSweep sweep(exe);

    StationProcess old(exe, work, tmp.filePath(QStringLiteral("service")));
    const quint16 viewerPort = StationProcess::freeViewerPorts();
    ASSERT_NE(viewerPort, 0);
    old.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
    old.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    old.setEnv(QStringLiteral("FAKETIME"), QString::fromLatin1(kFasterClock));
    old.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile());
    ASSERT_TRUE(writeFile(sim, "raw_temp=6000\nraw_humidity=1500\nack=1\n"));
    // The old copy's output is a pipe to this test, which closes it once the
    // old copy ended; the new copy inherits it and must survive writing to it.
    old.start();
    ASSERT_TRUE(old.running());
    // A failure shows the whole story: the station log of both copies, what
    // they wrote to their output, and the control value.
    const struct LogOnFailure
    {
        StationProcess &station;
        ~LogOnFailure()
        {
            if (!::testing::Test::HasFailure())
                return;
            std::cerr << "station log:\n"
                      << station.file(QStringLiteral("zav_sensor_logfile.log")).constData() << "\noutput:\n"
                      << station.output().constData() << "\ncontrol: " << station.control().constData() << '\n';
        }
    } logOnFailure{old};
    const qint64 oldPid = old.pid();

    // It measures: the seven records of its first reading.
    const QDir workDir(work);
    ASSERT_TRUE(StationProcess::waitUntil([&] { return recordLines(workDir) >= 7; }, 20000))
        << old.output().constData();

    // A station that measures is left alone: more ticks than the watchdog
    // waits for pass without a restart.
    const int watchdogRealMs = kWatchdogTicks * kTickMs / kRate;
    EXPECT_FALSE(StationProcess::waitUntil([&] { return processesRunning(exe) != QList<qint64>{oldPid}; },
                                           watchdogRealMs + 20 * kTickMs / kRate))
        << "restarted while it measured";
    EXPECT_FALSE(old.file(QStringLiteral("zav_sensor_logfile.log")).contains("Deadlock"));
    const int recordsBefore = recordLines(workDir);

    // The sensor no longer acknowledges: every query fails, the port is
    // opened again and again, and the measurement time stays where it was.
    ASSERT_TRUE(writeFile(sim, "ack=0\n"));

    // The restart: another process of the same executable appears (first,
    // for a moment, the go-between of the detached start), or the old copy
    // is gone: under load the new copy's hunt may end it before a poll here
    // sees both.
    const ProcInfo oldInfo = procInfo(oldPid);
    ASSERT_EQ(oldInfo.pid, oldPid);
    ASSERT_TRUE(StationProcess::waitUntil([&] { return processesRunning(exe) != QList<qint64>{oldPid}; },
                                          watchdogRealMs * 2 + 20000))
        << "no restart; log:\n"
        << old.file(QStringLiteral("zav_sensor_logfile.log")).right(2000).constData();
    // The sensor answers again for the new copy.
    ASSERT_TRUE(writeFile(sim, "ack=1\n"));

    // The old copy ends: by itself after its workers stopped, or ended by the
    // new copy's hunt for an older copy if it is still there.
    // (Once the polls above saw it end, waiting for its end would report failure.)
    ASSERT_TRUE(!old.running() || old.waitForExit(20000));
    const QByteArray log = old.file(QStringLiteral("zav_sensor_logfile.log"));
    if (old.process().exitStatus() == QProcess::NormalExit) {
        EXPECT_TRUE(log.contains("/Sensor/ Programm beendet wegen erkannten Deadlock\r\n")) << log.constData();
    }

    // The new copy outlived it, in the same working directory and in a
    // session of its own: neither the old one's end nor a signal to its
    // session or process group takes the new one along.
    qint64 newPid = 0;
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] {
            const QList<qint64> running = processesRunning(exe);
            newPid = running.size() == 1 ? running.first() : 0;
            return newPid != 0;
        },
        5000))
        << processesRunning(exe).size() << " copies run";
    EXPECT_NE(newPid, oldPid);
    EXPECT_NE(procInfo(newPid).session, oldInfo.session);
    EXPECT_EQ(workingDirectoryOf(newPid), QFileInfo(work).canonicalFilePath());

    // Exactly one station runs, the new one, and it measures: the seven
    // records of its first reading follow the old ones.
    EXPECT_TRUE(StationProcess::waitUntil([&] { return recordLines(workDir) >= recordsBefore + 7; }, 20000))
        << recordLines(workDir) << " record lines\n"
        << old.output().right(2000).constData() << "\nlog:\n"
        << old.file(QStringLiteral("zav_sensor_logfile.log")).right(3000).constData();
    EXPECT_EQ(processesRunning(exe), QList<qint64>{newPid});
    EXPECT_EQ(workingDirectoryOf(newPid), QFileInfo(work).canonicalFilePath());
    EXPECT_GT(old.waitForInstanceNumber(20000), 0);
    EXPECT_EQ(old.control(), "RUNNING");

    // The service host's SHUTDOWN ends it (the control value is shared: the
    // new copy inherited the service folder).
    old.writeControl(QByteArray("SHUTDOWN\0", 9));
    EXPECT_TRUE(StationProcess::waitUntil([&] { return processesRunning(exe).isEmpty(); }, 20000));
    EXPECT_EQ(old.control(), "IDLE");
    EXPECT_TRUE(old.file(QStringLiteral("zav_sensor_logfile.log"))
                    .contains("/Sensor/ Proramm beendet wegen SHUTDOWN\r\n"));
}
