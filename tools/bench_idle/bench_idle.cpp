// Starts the station program with the simulated sensor and the stand-in
// central server (each on a free port, in a temporary folder), lets it run
// without viewers and prints the CPU milliseconds per minute of each of its
// threads and its resident memory.
//
//   bench_idle [seconds (60)]

#include "ProcessFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// CPU seconds of every thread, by thread id.
QMap<QString, double> threadTimes(qint64 pid)
{
    QMap<QString, double> times;
    for (const QString &tid : ProcessFigures::threadIds(pid))
        times.insert(tid, ProcessFigures::threadCpuSeconds(pid, tid));
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? std::max(10, args[1].toInt()) : 60;

    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString uploads = tmp.filePath(QStringLiteral("uploads"));
    QDir().mkpath(work);
    QDir().mkpath(uploads);
    QDir().mkpath(tmp.filePath(QStringLiteral("service")));
    const quint16 serverPort = freePort();
    const quint16 viewerPort = freePort();

    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral(HERONSTANDIN_EXE),
                 {QStringLiteral("--port"), QString::number(serverPort), QStringLiteral("--upload-dir"), uploads});

    QFile cfg(QDir(work).filePath(QStringLiteral("r2arodire.cfg")));
    const QList<QByteArray> values = {"",      "",      "",      "",      "",      "",
                                      "",      "",      "FALSE", "FALSE", "FALSE", "FALSE",
                                      "BENCH01", "127.0.0.1:" + QByteArray::number(serverPort),
                                      "COM3:", "4",     "5"};
    QFile sim(tmp.filePath(QStringLiteral("sensor-sim.txt")));
    if (serverPort == 0 || viewerPort == 0 || !server.waitForStarted(5000) || !cfg.open(QIODevice::WriteOnly)
        || !sim.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench_idle: cannot prepare %s\n", qPrintable(tmp.path()));
        return 1;
    }
    for (const QByteArray &v : values)
        cfg.write("key\r\n" + v + "\r\n");
    cfg.close();
    sim.write("raw_temp=6000\nraw_humidity=1500\n");
    sim.close();

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KLIMAWARTE_SERVICE_DIR"), tmp.filePath(QStringLiteral("service")));
    env.insert(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
    env.insert(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim.fileName());
    station.setProcessEnvironment(env);
    station.setWorkingDirectory(work);
    station.setStandardOutputFile(QProcess::nullDevice());
    station.setStandardErrorFile(QProcess::nullDevice());
    station.start(QStringLiteral(KLIMAWARTE_EXE), {});
    if (!station.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_idle: cannot start %s\n", KLIMAWARTE_EXE);
        return 1;
    }
    const qint64 pid = station.processId();

    // Past the start-up countdown and the reporting thread's start wait.
    QThread::sleep(15);
    const QMap<QString, double> before = threadTimes(pid);
    const double total0 = ProcessFigures::cpuSeconds(pid);
    QThread::sleep(static_cast<unsigned long>(seconds));
    const QMap<QString, double> after = threadTimes(pid);
    const double total = ProcessFigures::cpuSeconds(pid) - total0;
    const double perMinute = 60.0 / seconds;

    std::printf("station %s, pid %lld, %d s without viewers\n", KLIMAWARTE_EXE, static_cast<long long>(pid), seconds);
    std::printf("CPU ms per minute by thread:\n");
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const double ms = (it.value() - before.value(it.key(), 0.0)) * 1000 * perMinute;
        std::printf("  %-8s %-16s %8.0f\n", qPrintable(it.key()),
                    ProcessFigures::threadName(pid, it.key()).constData(), ms);
    }
    std::printf("cpu_ms_per_minute=%.0f\n", total * 1000 * perMinute);
    std::printf("vmrss=%s\n", ProcessFigures::statusLine(pid, "VmRSS:").constData());

    QFile control(tmp.filePath(QStringLiteral("service/CONTROL")));
    if (control.open(QIODevice::WriteOnly | QIODevice::Truncate))
        control.write(QByteArray("SHUTDOWN\0", 9));
    control.close();
    if (!station.waitForFinished(20000))
        station.kill();
    server.kill();
    server.waitForFinished(5000);
    return 0;
}
