#include "endtoend/StationProcess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

// A configuration with a port, so that start-up asks nothing.
QByteArray configFile()
{
    const QList<QByteArray> values = {"", "", "", "", "", "", "", "", "FALSE", "FALSE", "FALSE", "FALSE",
                                      "ABC1234", "127.0.0.1:1", "COM3:", "4", "5"};
    QByteArray out;
    for (const QByteArray &v : values)
        out += "key\r\n" + v + "\r\n";
    return out;
}

struct StationLife : ::testing::Test
{
    QTemporaryDir tmp;

    // A copy of the program under a path of its own: another executable.
    QString executable(const QString &name)
    {
        const QString dir = tmp.filePath(name);
        QDir().mkpath(dir);
        const QString path = QDir(dir).filePath(QStringLiteral("klimawarte"));
        if (!QFile::exists(path))
            QFile::copy(QStringLiteral(KLIMAWARTE_EXE), path);
        return path;
    }
    std::unique_ptr<StationProcess> station(const QString &exe, const QString &work, const QString &service)
    {
        auto p = std::make_unique<StationProcess>(exe, tmp.filePath(work), tmp.filePath(service));
        p->writeFile(QStringLiteral("r2arodire.cfg"), configFile());
        return p;
    }
};

constexpr int kStartMs = 20000;

// The instance number in a flag file ("ZAV-Sensor1\r\n" -> 1); 0 while none.
// Stations of other test runs on this machine may hold viewer ports, so the
// tests compare numbers instead of expecting 1.
int instanceOf(const QByteArray &flag)
{
    if (!flag.startsWith("ZAV-Sensor") || !flag.endsWith("\r\n"))
        return 0;
    return flag.mid(10, flag.size() - 12).toInt();
}

bool waitForInstance(StationProcess &p, int timeoutMs)
{
    return StationProcess::waitUntil([&] { return instanceOf(p.file(QStringLiteral("r2arodire.flag"))) > 0; },
                                     timeoutMs);
}

} // namespace

TEST_F(StationLife, SecondProgramInTheSameDirectoryTakesTheSecondInstanceExit)
{
    auto first = station(executable("bin1"), "work", "service1");
    first->start();
    ASSERT_TRUE(waitForInstance(*first, kStartMs)) << first->output().constData();
    const QByteArray flag = first->file("r2arodire.flag");
    EXPECT_EQ(first->control(), "RUNNING");

    auto second = station(executable("bin2"), "work", "service2");
    second->start();
    ASSERT_TRUE(second->waitForExit(kStartMs));
    EXPECT_TRUE(first->running());
    EXPECT_EQ(first->file("r2arodire.flag"), flag);
    EXPECT_TRUE(first->file("zav_sensor_logfile.log").contains("/Sensor/ Programm beendet (lief als 2.Instanz)\r\n"));

    ASSERT_TRUE(first->shutdown());
    EXPECT_EQ(first->control(), "IDLE");
    EXPECT_TRUE(first->file("zav_sensor_logfile.log").contains("/Sensor/ Proramm beendet wegen SHUTDOWN\r\n"));
}

TEST_F(StationLife, TwoDirectoriesTwoExecutablesBothRun)
{
    auto first = station(executable("bin1"), "work1", "service1");
    first->start();
    ASSERT_TRUE(waitForInstance(*first, kStartMs));
    const int n = instanceOf(first->file("r2arodire.flag"));
    auto second = station(executable("bin2"), "work2", "service2");
    second->start();
    ASSERT_TRUE(waitForInstance(*second, kStartMs));
    EXPECT_GT(instanceOf(second->file("r2arodire.flag")), n); // next viewer port, next number
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
    ASSERT_TRUE(waitForInstance(*older, kStartMs));
    const int n = instanceOf(older->file("r2arodire.flag"));
    auto newer = station(exe, "work2", "service2");
    newer->start();
    ASSERT_TRUE(older->waitForExit(kStartMs));
    EXPECT_EQ(older->process().exitStatus(), QProcess::CrashExit); // ended from outside
    ASSERT_TRUE(waitForInstance(*newer, kStartMs));
    // The older one's viewer port is free again (unless a station of another
    // run on this machine took it in between).
    EXPECT_GE(instanceOf(newer->file("r2arodire.flag")), n);
    EXPECT_TRUE(newer->shutdown());
    EXPECT_EQ(newer->control(), "IDLE");
}

TEST_F(StationLife, MeasuresWithTheSimulatedSensorAndWritesRecords)
{
    auto st = station(QStringLiteral(KLIMAWARTE_EXE), "work", "service");
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
    EXPECT_TRUE(lines[0].contains("1.g19.40;\xF8" "C;;21;SIM1234\r")) << lines[0].constData();
    EXPECT_GT(instanceOf(st->file("r2arodire.flag")), 0);
    ASSERT_TRUE(st->shutdown());
    EXPECT_EQ(st->control(), "IDLE");
}
