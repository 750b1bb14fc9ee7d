// bench_frames: upload throughput of SendFrame against the stand-in server on
// loopback, next to a bare ping-pong of 253-byte requests and 5-byte answers
// over one loopback TCP connection. Prints frames per second of both and
// their ratio; the last line is "ratio=<value>".
//
// Both exchanges are strict turns between two threads, so their speed is set
// by how fast one thread wakes the other. On a virtual machine whose idle
// processors halt, a thread woken on another, idle processor waits tens of
// microseconds for it; on the same processor it runs at once. Where the
// scheduler puts the two threads is a matter of history, not of the code, and
// a free run could compare an upload split over two processors with a
// ping-pong that shares one. So every round measures both exchanges under the
// same two placements, each pinned: both threads on one processor, and the
// two threads on two processors. The ratio is the lower of the two.

#include "HeronStandin.h"

#include "common/LoginFrame.h"
#include "reporting/FrameSocket.h"
#include "reporting/TCPUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>

#include <dirent.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kRequest = 253;
constexpr int kAnswer = 5;
constexpr int kRounds = 5;

bool connectTo(QTcpSocket &s, quint16 port)
{
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return false;
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

// One round of uploads of 10 kB, 100 kB and 1 MB; returns frames sent, or -1.
qint64 uploadRound(FrameSocket &link, qint32 &sequence, int round, qint64 &elapsedNs)
{
    qint64 frames = 0;
    QElapsedTimer timer;
    elapsedNs = 0;
    // The contents are made before the first frame: making the megabyte
    // takes milliseconds of the client's thread, and such a pause between
    // two files, although not timed, lets the scheduler move the waiting
    // stand-in to another, idle processor; every later wake-up of the round
    // then pays for waking that processor. The ping-pong has no such pause.
    QList<QByteArray> contents;
    for (const int size : {10 * 1000, 100 * 1000, 1000 * 1000}) {
        QByteArray content(size, '\0');
        QRandomGenerator gen(quint32(size + round));
        for (char &c : content)
            c = char(gen.bounded(256));
        contents.append(content);
    }
    for (const QByteArray &content : contents) {
        const qsizetype size = content.size();
        const QByteArray name = "data\\BENCH" + QByteArray::number(round) + "_" + QByteArray::number(size) + ".1MS";
        timer.start();
        if (!TCPUtils::SendFrame(&link, 0, sequence, name, FrameType::OpenFrame))
            return -1;
        ++frames;
        for (int at = 0; at < content.size(); at += 250) {
            if (!TCPUtils::SendFrame(&link, 0, sequence, content.mid(at, 250), FrameType::DataFrame))
                return -1;
            ++frames;
        }
        if (!TCPUtils::SendFrame(&link, 0, sequence, QByteArray(), FrameType::CloseFrame))
            return -1;
        ++frames;
        elapsedNs += timer.nsecsElapsed();
    }
    return frames;
}

// The bare exchange: a thread that answers every 253 bytes with 5 bytes.
class PingPongServer
{
public:
    bool start()
    {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start();
        while (!m_ready.load())
            QThread::yieldCurrentThread();
        return m_port.load() != 0;
    }
    ~PingPongServer()
    {
        m_stop = true;
        if (m_thread)
            m_thread->wait();
    }
    quint16 port() const { return m_port.load(); }

private:
    void run()
    {
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost, 0))
            m_port = server.serverPort();
        m_ready = true;
        if (!m_port)
            return;
        while (!m_stop && !server.waitForNewConnection(50)) {
        }
        std::unique_ptr<QTcpSocket> s(server.nextPendingConnection());
        if (!s)
            return;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const QByteArray answer("\x01\x01\x01\x01" "A", kAnswer);
        while (!m_stop && s->state() == QAbstractSocket::ConnectedState) {
            while (s->bytesAvailable() < kRequest && s->state() == QAbstractSocket::ConnectedState && !m_stop)
                s->waitForReadyRead(50);
            if (s->bytesAvailable() < kRequest)
                break;
            s->read(kRequest);
            s->write(answer);
            s->flush();
        }
    }

    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_stop{false};
    std::atomic<quint16> m_port{0};
};

qint64 pingPongRound(QTcpSocket &s, qint64 frames)
{
    const QByteArray request(kRequest, 'x');
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < frames; ++i) {
        s.write(request);
        s.flush();
        while (s.bytesToWrite() > 0)
            s.waitForBytesWritten(1000);
        while (s.bytesAvailable() < kAnswer)
            if (!s.waitForReadyRead(5000))
                return -1;
        s.read(kAnswer);
    }
    return timer.nsecsElapsed();
}

// The first two processors this process may run on (the second is -1 when
// there is only one).
std::pair<int, int> twoProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::pair<int, int> cpus{-1, -1};
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &set))
            continue;
        if (cpus.first < 0)
            cpus.first = cpu;
        else {
            cpus.second = cpu;
            break;
        }
    }
    return cpus;
}

bool pinThread(pid_t tid, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(tid, sizeof set, &set) == 0;
}

// Pins the calling (client) thread to `clientCpu` and every other thread of
// the process (the stand-in's and the ping-pong server's) to `serverCpu`.
bool pinThreads(int clientCpu, int serverCpu)
{
    const pid_t self = pid_t(syscall(SYS_gettid));
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return false;
    bool ok = true;
    while (const dirent *entry = readdir(tasks)) {
        const pid_t tid = pid_t(std::atoi(entry->d_name));
        if (tid > 0)
            ok = pinThread(tid, tid == self ? clientCpu : serverCpu) && ok;
    }
    closedir(tasks);
    return ok;
}

struct Placement
{
    const char *name;
    int clientCpu;
    int serverCpu;
    double bestUpload = 0;
    double bestPing = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    QTemporaryDir dir;
    HeronStandin server;
    server.setUploadDir(dir.path());
    if (!server.start()) {
        std::fprintf(stderr, "stand-in does not listen\n");
        return 1;
    }
    QTcpSocket upSocket;
    if (!connectTo(upSocket, server.port())) {
        std::fprintf(stderr, "no connection to the stand-in\n");
        return 1;
    }
    TcpFrameSocket link(&upSocket);
    qint32 sequence = 0;
    if (!TCPUtils::SendFrame(&link, 0, sequence, LoginFrame::literal(), FrameType::LoginFrame)) {
        std::fprintf(stderr, "login refused\n");
        return 1;
    }

    PingPongServer pingServer;
    QTcpSocket pingSocket;
    if (!pingServer.start() || !connectTo(pingSocket, pingServer.port())) {
        std::fprintf(stderr, "no ping-pong connection\n");
        return 1;
    }

    const auto [first, second] = twoProcessors();
    QList<Placement> placements;
    if (first >= 0)
        placements.append({"one processor", first, first});
    if (second >= 0)
        placements.append({"two processors", first, second});
    if (placements.isEmpty()) {
        std::fprintf(stderr, "no processor to pin the threads to\n");
        return 1;
    }

    for (int round = 1; round <= kRounds; ++round) {
        for (Placement &placement : placements) {
            if (!pinThreads(placement.clientCpu, placement.serverCpu)) {
                std::fprintf(stderr, "cannot pin the threads to processors %d and %d\n", placement.clientCpu,
                             placement.serverCpu);
                return 1;
            }
            qint64 uploadNs = 0;
            const qint64 frames = uploadRound(link, sequence, round, uploadNs);
            if (frames < 0) {
                std::fprintf(stderr, "upload failed in round %d\n", round);
                return 1;
            }
            server.clearRecords();
            const qint64 pingNs = pingPongRound(pingSocket, frames);
            if (pingNs < 0) {
                std::fprintf(stderr, "ping-pong failed in round %d\n", round);
                return 1;
            }
            const double upload = frames * 1e9 / double(uploadNs);
            const double ping = frames * 1e9 / double(pingNs);
            std::printf("round %d, %s: %lld frames, upload %.0f frames/s, ping-pong %.0f frames/s\n", round,
                        placement.name, qlonglong(frames), upload, ping);
            placement.bestUpload = std::max(placement.bestUpload, upload);
            placement.bestPing = std::max(placement.bestPing, ping);
        }
    }
    double ratio = 0;
    for (const Placement &placement : placements) {
        const double r = placement.bestUpload / placement.bestPing;
        std::printf("%s: upload %.0f, ping-pong %.0f frames/s, ratio %.3f\n", placement.name, placement.bestUpload,
                    placement.bestPing, r);
        ratio = ratio == 0 ? r : std::min(ratio, r);
    }
    std::printf("upload_frames_per_s=%.0f\n", placements.first().bestUpload);
    std::printf("pingpong_frames_per_s=%.0f\n", placements.first().bestPing);
    std::printf("ratio=%.3f\n", ratio);
    std::fflush(stdout);
    server.stop();
    return 0;
}
