#include "endtoend/StationProcess.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <unistd.h>

namespace {

struct StationLife : ::testing::Test
{
    QTemporaryDir tmp;
    const quint16 viewerPort = StationProcess::freeViewerPorts();

    // A copy of the program under a path of its own: another executable.
    // The tests never run the build's own program, so the hunt for an older
    // copy never ends a station started by hand from the build.
    QString executable(const QString &name)
    {
        const QString dir = tmp.filePath(name);
        QDir().mkpath(dir);
        const QString path = QDir(dir).filePath(QStringLiteral("klimawarte"));
        if (!QFile::exists(path)) {
            EXPECT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), path)) << path.toStdString();
        }
        return path;
    }
    std::unique_ptr<StationProcess> station(const QString &exe, const QString &work, const QString &service)
    {
        EXPECT_NE(QFileInfo(exe).canonicalFilePath(),
                  QFileInfo(QStringLiteral(KLIMAWARTE_EXE)).canonicalFilePath())
            << "end-to-end tests run a copy of the program";
        EXPECT_NE(viewerPort, 0);
        auto p = std::make_unique<StationProcess>(exe, tmp.filePath(work), tmp.filePath(service));
        p->setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
        p->writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile());
        return p;
    }
};

constexpr int kStartMs = 20000;

} // namespace

TEST_F(StationLife, SecondProgramInTheSameDirectoryTakesTheSecondInstanceExit)
{
    auto first = station(executable("bin1"), "work", "service1");
    first->start();
    const int number = first->waitForInstanceNumber(kStartMs);
    ASSERT_GT(number, 0) << first->output().constData();
    const QByteArray flag = first->file("r2arodire.flag");
    EXPECT_EQ(first->control(), "RUNNING");

    auto second = station(executable("bin2"), "work", "service2");
    second->start();
    ASSERT_TRUE(second->waitForExit(kStartMs));
    EXPECT_TRUE(first->running());
    EXPECT_EQ(first->file("r2arodire.flag"), flag);
    EXPECT_TRUE(
        first->file("zav_sensor_logfile.log").contains("/Sensor/ Programm beendet (lief als 2.Instanz)\r\n"));

    ASSERT_TRUE(first->shutdown());
    EXPECT_EQ(first->control(), "IDLE");
    EXPECT_TRUE(
        first->file("zav_sensor_logfile.log").contains("/Sensor/ Proramm beendet wegen SHUTDOWN\r\n"));
}

TEST_F(StationLife, TwoDirectoriesTwoExecutablesBothRun)
{
    auto first = station(executable("bin1"), "work1", "service1");
    first->start();
    const int number = first->waitForInstanceNumber(kStartMs);
    ASSERT_GT(number, 0);
    auto second = station(executable("bin2"), "work2", "service2");
    second->start();
    // The first holds its port: the second takes another one (with nothing
    // else on this machine, 2003 after 2002: "ZAV-Sensor2" after "ZAV-Sensor1").
    const int secondNumber = second->waitForInstanceNumber(kStartMs);
    EXPECT_GT(secondNumber, 0);
    EXPECT_NE(secondNumber, number);
    EXPECT_TRUE(first->running());
    EXPECT_TRUE(second->running());
    EXPECT_TRUE(second->shutdown());
    EXPECT_TRUE(first->shutdown());
}

TEST_F(StationLife, NewCopyOfTheSameExecutableEndsTheOlderOne)
{
    const QString exe = executable("bin1");
    auto older = station(exe, "work1", "service1");
    older->start();
    const int number = older->waitForInstanceNumber(kStartMs);
    ASSERT_GT(number, 0);
    auto newer = station(exe, "work2", "service2");
    newer->start();
    ASSERT_TRUE(older->waitForExit(kStartMs));
    EXPECT_EQ(older->process().exitStatus(), QProcess::CrashExit); // ended from outside
    // The older copy's port is free again: the newer one gets it (or an
    // earlier one another program gave up meanwhile).
    const int newerNumber = newer->waitForInstanceNumber(kStartMs);
    EXPECT_GT(newerNumber, 0);
    EXPECT_LE(newerNumber, number);
    EXPECT_TRUE(newer->shutdown());
    EXPECT_EQ(newer->control(), "IDLE");
}

TEST_F(StationLife, MeasuresWithTheSimulatedSensorAndWritesRecords)
{
    auto st = station(executable("bin"), "work", "service");
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=6000\nraw_humidity=1500\n");
    }
    st->setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    st->start();
    const QDir work(tmp.filePath(QStringLiteral("work")));
    QByteArray records;
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] {
            const QStringList files = work.entryList({QStringLiteral("SIM1234?.?MS")}, QDir::Files);
            if (files.isEmpty())
                return false;
            records = st->file(files.first());
            return records.count('\n') >= 7;
        },
        30000))
        << st->output().constData();
    // The seven records of one write; the simulated adapter names the station.
    const QList<QByteArray> lines = records.split('\n');
    EXPECT_TRUE(lines[0].contains("1.g19.40;\xF8"
                                  "C;;21;SIM1234\r"))
        << lines[0].constData();
    EXPECT_GT(st->instanceNumber(), 0);
    ASSERT_TRUE(st->shutdown());
    EXPECT_EQ(st->control(), "IDLE");
}

// A station whose output has no reader any more (the pipe of a program that
// started it and ended, as for the copy a watchdog restart leaves behind,
// which starts with the default action for a broken pipe) keeps running: its
// first message must not end it.
TEST_F(StationLife, RunsWhenItsOutputHasNoReader)
{
    auto st = station(executable("bin"), "work", "service");
    st->process().setChildProcessModifier([] {
        int fds[2];
        if (::pipe(fds) != 0)
            ::_exit(126);
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[1]);
        ::signal(SIGPIPE, SIG_DFL);
    });
    st->start();
    StationProcess::waitUntil([&] { return st->instanceNumber() > 0 || !st->running(); }, kStartMs);
    ASSERT_GT(st->instanceNumber(), 0)
        << "exit status " << st->process().exitStatus() << " code " << st->process().exitCode();
    EXPECT_TRUE(st->running());
    EXPECT_EQ(st->control(), "RUNNING");
    ASSERT_TRUE(st->shutdown());
    EXPECT_EQ(st->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(st->control(), "IDLE");
}
