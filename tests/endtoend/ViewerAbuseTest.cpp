#include "endtoend/StationProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

namespace {

int entries(qint64 pid, const char *what)
{
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(what)))
                                .entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

// A viewer that answers every text "OK"; returns the time texts (index 1) of
// the messages it received completely, up to `messages` (and, with `until`,
// at least until it is set).
QByteArrayList watch(quint16 port, int messages, int timeoutMs, const std::atomic<bool> *until = nullptr)
{
    QByteArrayList times;
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000))
        return times;
    QElapsedTimer t;
    t.start();
    int index = -1;
    QByteArray time;
    while ((times.size() < messages || (until && !until->load())) && t.elapsed() < timeoutMs) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(1000))
            continue;
        const QByteArray text = s.readAll();
        index = text == "<ANFANG>" ? 0 : index + 1;
        if (index == 1)
            time = text;
        if (index == 23)
            times.append(time);
        s.write("OK");
        s.waitForBytesWritten(1000);
    }
    return times;
}

enum class Abuse { Garbage, Silent, VanishHalfWay, ConfigHalfWay };

void abuse(quint16 port, Abuse kind)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000))
        return;
    switch (kind) {
    case Abuse::Garbage:
        s.write(QByteArray(20000, '\xA5'));
        s.waitForBytesWritten(1000);
        s.waitForDisconnected(2000);
        break;
    case Abuse::Silent:
        s.waitForReadyRead(1500); // the station's answer wait ends first
        s.waitForReadyRead(300);
        break;
    case Abuse::VanishHalfWay:
        for (int i = 0; i < 7 && s.waitForReadyRead(3000); ++i) {
            s.readAll();
            s.write("OK");
            s.waitForBytesWritten(1000);
        }
        break;
    case Abuse::ConfigHalfWay:
        s.write("<CONFIG>");
        s.waitForBytesWritten(1000);
        s.waitForReadyRead(3000);
        s.readAll();
        s.write("3 ");
        s.waitForBytesWritten(1000);
        s.waitForReadyRead(3000);
        break;
    }
    s.abort();
}

} // namespace

// Many viewers that send garbage, stay silent or vanish half-way: the
// measurement goes on, and the station's threads and descriptors come back
// to what they were before.
TEST(ViewerAbuse, ThousandBadConnectionsLeaveTheStationAsItWas)
{
    QTemporaryDir tmp;
    const QString exeDir = tmp.filePath(QStringLiteral("bin"));
    QDir().mkpath(exeDir);
    const QString exe = QDir(exeDir).filePath(QStringLiteral("klimawarte"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe));
    const quint16 base = StationProcess::freeViewerPorts();
    ASSERT_NE(base, 0);
    StationProcess st(exe, tmp.filePath(QStringLiteral("work")), tmp.filePath(QStringLiteral("service")));
    st.setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(base));
    st.writeFile(QStringLiteral("r2arodire.cfg"), StationProcess::configFile());
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    {
        QFile f(sim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("raw_temp=6000\nraw_humidity=1500\n");
    }
    st.setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
    st.start();
    const int instance = st.waitForInstanceNumber(20000);
    ASSERT_GT(instance, 0) << st.output().constData();
    // The port the station took: the instance number counts the ports tried.
    const auto port = static_cast<quint16>(base + instance - 1);

    // A viewer sees two messages: the measurement runs, every lazy part of
    // the program is up.
    ASSERT_EQ(watch(port, 2, 30000).size(), 2) << st.output().constData();
    ASSERT_TRUE(StationProcess::waitUntil([&] { return entries(st.pid(), "task") > 0; }, 5000));
    // Let the first viewer's thread go.
    QThread::msleep(500);
    const int tasksBefore = entries(st.pid(), "task");
    const int fdsBefore = entries(st.pid(), "fd");

    constexpr int kConnections = 1000;
    constexpr int kParallel = 40;
    const auto recordBytes = [&] {
        qint64 n = 0;
        const QDir work(tmp.filePath(QStringLiteral("work")));
        for (const QFileInfo &f : work.entryInfoList({QStringLiteral("SIM1234?.?MS")}, QDir::Files))
            n += f.size();
        return n;
    };
    const qint64 recordsBefore = recordBytes();
    std::atomic<int> next{0};
    std::atomic<bool> abused{false};
    std::vector<std::thread> workers;
    for (int w = 0; w < kParallel; ++w) {
        workers.emplace_back([&] {
            for (int i = next++; i < kConnections; i = next++)
                abuse(port, static_cast<Abuse>(i % 4));
        });
    }
    std::thread joiner([&] {
        for (std::thread &t : workers)
            t.join();
        abused = true;
    });
    // Meanwhile a well-behaved viewer keeps receiving new measurements.
    const QByteArrayList during = watch(port, 3, 120000, &abused);
    joiner.join();
    ASSERT_GE(during.size(), 3);
    EXPECT_NE(during.first(), during.last());
    EXPECT_TRUE(StationProcess::waitUntil([&] { return recordBytes() > recordsBefore; }, 30000))
        << "no new measurement records";

    EXPECT_TRUE(StationProcess::waitUntil(
        [&] { return entries(st.pid(), "task") == tasksBefore && entries(st.pid(), "fd") == fdsBefore; },
        15000))
        << "threads " << entries(st.pid(), "task") << " (before " << tasksBefore << "), descriptors "
        << entries(st.pid(), "fd") << " (before " << fdsBefore << ")";
    EXPECT_EQ(watch(port, 1, 30000).size(), 1);
    ASSERT_TRUE(st.running());
    EXPECT_TRUE(st.shutdown());
}
