// Starts the station program (simulated sensor, a free viewer port, a
// temporary folder), measures its CPU time for a while without viewers, then
// connects 100 viewers at once and measures again. Prints the share of the
// measurement messages each viewer received, the CPU time per minute in both
// phases and the station's memory.
//
//   bench_viewers [seconds per phase (20)] [viewers (100)] [program]

#include "ProcessFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using ProcessFigures::cpuSeconds;
using ProcessFigures::statusLine;

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// One viewer: answers every text "OK" and keeps the time text of each
// complete message.
struct Viewer
{
    QTcpSocket socket;
    int index = -1;
    QByteArray time;
    QSet<QByteArray> times;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? std::max(5, args[1].toInt()) : 20;
    const int viewerCount = args.size() > 2 ? std::max(1, args[2].toInt()) : 100;
#ifdef KLIMAWARTE_EXE
    const QString exe = args.size() > 3 ? args[3] : QStringLiteral(KLIMAWARTE_EXE);
#else
    if (args.size() < 4) {
        std::fprintf(stderr, "bench_viewers: name the station program\n");
        return 2;
    }
    const QString exe = args[3];
#endif

    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    QDir().mkpath(tmp.filePath(QStringLiteral("service")));
    quint16 port = 0;
    {
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, 0))
            port = probe.serverPort();
    }
    QFile cfg(QDir(work).filePath(QStringLiteral("r2arodire.cfg")));
    const QList<QByteArray> values = {"",      "",      "",      "",      "",      "",        "",
                                      "",      "FALSE", "FALSE", "FALSE", "FALSE", "BENCH01", "127.0.0.1:1",
                                      "COM3:", "4",     "5"};
    QFile sim(tmp.filePath(QStringLiteral("sensor-sim.txt")));
    if (port == 0 || !cfg.open(QIODevice::WriteOnly) || !sim.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench_viewers: cannot prepare %s\n", qPrintable(tmp.path()));
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
    env.insert(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(port));
    env.insert(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim.fileName());
    station.setProcessEnvironment(env);
    station.setWorkingDirectory(work);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.setStandardOutputFile(QProcess::nullDevice());
    station.start(exe, {});
    if (!station.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_viewers: cannot start %s\n", qPrintable(exe));
        return 1;
    }
    const qint64 pid = station.processId();
    std::printf("station %s, pid %lld, viewer port %u, %d s per phase\n", qPrintable(exe),
                static_cast<long long>(pid), port, seconds);

    // Start-up: the countdown before the station listens and measures.
    {
        QElapsedTimer t;
        t.start();
        bool up = false;
        while (!up && t.elapsed() < 60000) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), port);
            up = probe.waitForConnected(500) && probe.waitForReadyRead(5000);
            if (!up)
                QThread::msleep(200);
        }
        if (!up) {
            std::fprintf(stderr, "bench_viewers: the station sends no measurement\n");
            station.kill();
            return 1;
        }
    }
    pump(2000);

    const double idle0 = cpuSeconds(pid);
    pump(seconds * 1000);
    const double idleCpu = cpuSeconds(pid) - idle0;
    const QByteArray rssIdle = statusLine(pid, "VmRSS:");

    std::vector<std::unique_ptr<Viewer>> viewers;
    for (int i = 0; i < viewerCount; ++i) {
        auto v = std::make_unique<Viewer>();
        Viewer *p = v.get();
        QObject::connect(&p->socket, &QTcpSocket::readyRead, &p->socket, [p] {
            const QByteArray text = p->socket.readAll();
            p->index = text == "<ANFANG>" ? 0 : p->index + 1;
            if (p->index == 1)
                p->time = text;
            if (p->index == 23)
                p->times.insert(p->time);
            p->socket.write("OK");
        });
        p->socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        viewers.push_back(std::move(v));
    }
    pump(2000); // all connected, each past its first message
    // A message that some viewer had begun before the phase is not counted:
    // viewers that had finished it before would seem to have missed it.
    QSet<QByteArray> begunBefore;
    for (auto &v : viewers) {
        if (!v->time.isEmpty())
            begunBefore.insert(v->time);
        v->times.clear();
    }
    const double busy0 = cpuSeconds(pid);
    pump(seconds * 1000);
    const double busyCpu = cpuSeconds(pid) - busy0;
    // Messages still running at the end are finished, then counted.
    QSet<QByteArray> all;
    for (auto &v : viewers)
        all.unite(v->times);
    all.subtract(begunBefore);
    pump(1500);
    const QByteArray rssBusy = statusLine(pid, "VmRSS:");
    const QByteArray hwm = statusLine(pid, "VmHWM:");
    const QByteArray threads = statusLine(pid, "Threads:");

    double minShare = 1, sumShare = 0;
    int connected = 0;
    for (auto &v : viewers) {
        connected += v->socket.state() == QAbstractSocket::ConnectedState ? 1 : 0;
        int got = 0;
        for (const QByteArray &t : all)
            got += v->times.contains(t) ? 1 : 0;
        const double share = all.isEmpty() ? 0 : static_cast<double>(got) / all.size();
        minShare = std::min(minShare, share);
        sumShare += share;
    }
    std::printf("measurement messages in the phase: %lld; viewers connected: %d of %d\n",
                static_cast<long long>(all.size()), connected, viewerCount);
    std::printf("share received per viewer: min %.1f %%, mean %.1f %% (goal: 100 %%)\n", 100 * minShare,
                100 * sumShare / viewerCount);
    std::printf("station CPU time per minute: %.2f s without viewers, %.2f s with %d viewers\n",
                idleCpu * 60 / seconds, busyCpu * 60 / seconds, viewerCount);
    std::printf("station memory: VmRSS %s without viewers, %s with them (peak %s), threads %s\n",
                rssIdle.constData(), rssBusy.constData(), hwm.constData(), threads.constData());

    viewers.clear();
    // The service host's shut-down request.
    QFile control(tmp.filePath(QStringLiteral("service/CONTROL")));
    if (control.open(QIODevice::WriteOnly | QIODevice::Truncate))
        control.write(QByteArray("SHUTDOWN\0", 9));
    control.close();
    if (!station.waitForFinished(20000))
        station.kill();
    station.waitForFinished(5000);
    return all.isEmpty() ? 1 : 0;
}
