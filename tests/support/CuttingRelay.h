#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A relay on 127.0.0.1 between the station and a server that cuts the
// connection at random frames of the station, one connection at a time.
// It reads the station's side as frames (length byte, checksum, type,
// payload; answers and sequence prefixes pass as they are) and the server's
// side as answers and frames. At a frame chosen for a cut (seeded, so a run
// can be repeated) it does one of three things:
// - BeforeFrame: the frame never reaches the server; both sides are closed;
// - BeforeAnswer: the frame reaches the server, its answer never reaches the
//   station; both sides are closed when the answer arrives;
// - AfterAnswer: frame and answer pass, then both sides are closed (the
//   station reads the answer and finds the connection gone afterwards).
class CuttingRelay
{
public:
    enum Cut { BeforeFrame, BeforeAnswer, AfterAnswer, CutKinds };

    struct Figures
    {
        int sessions = 0;        // connections accepted
        int cuts = 0;            // connections cut
        int cutsByKind[CutKinds] = {};
        int closeCutsByKind[CutKinds] = {}; // cuts at a close frame (type 3)
        int framesSeen = 0;      // frames of the station
    };

    CuttingRelay(quint16 upstreamPort, quint32 seed, double cutShare = 0.05, double closeCutShare = 0.3)
        : m_upstreamPort(upstreamPort)
        , m_random(seed)
        , m_cutShare(cutShare)
        , m_closeCutShare(closeCutShare)
    {
    }
    ~CuttingRelay() { stop(); }
    CuttingRelay(const CuttingRelay &) = delete;
    CuttingRelay &operator=(const CuttingRelay &) = delete;

    bool start()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listen < 0)
            return false;
        const int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 4) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return false;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
        return true;
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
        m_listen = -1;
    }
    quint16 port() const { return m_port; }

    // While off, everything passes.
    void setCutting(bool on) { m_cutting = on; }

    Figures figures() const
    {
        std::lock_guard lock(m_mutex);
        return m_figures;
    }
    // Connections that ended without a cut.
    int uncutSessions() const
    {
        std::lock_guard lock(m_mutex);
        return m_figures.sessions - m_figures.cuts - (m_inSession ? 1 : 0);
    }
    bool inSession() const
    {
        std::lock_guard lock(m_mutex);
        return m_inSession;
    }

private:
    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }

    void run()
    {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int station = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (station < 0)
                continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = loopback(m_upstreamPort);
            {
                std::lock_guard lock(m_mutex);
                ++m_figures.sessions;
                m_inSession = true;
            }
            if (server >= 0 && ::connect(server, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                relay(station, server);
            if (server >= 0)
                ::close(server);
            ::close(station);
            std::lock_guard lock(m_mutex);
            m_inSession = false;
        }
    }

    // One unit at the start of buf: a sequence prefix, an answer or a frame.
    // Returns its size, 0 while it is incomplete.
    static qsizetype unitSize(const QByteArray &buf, bool fromServer)
    {
        if (buf.isEmpty())
            return 0;
        const quint8 first = quint8(buf[0]);
        // "ww" and a sequence byte before a frame or an answer. A frame of
        // 119 bytes begins with 'w' too: from the station, whose frames never
        // carry the prefix, only a prefixed answer counts.
        if (first == 'w') {
            if (buf.size() < 4)
                return 0;
            if (buf[1] == 'w' && (fromServer || quint8(buf[3]) == 0x01))
                return 3;
        }
        if (first == 0x01)
            return buf.size() >= 5 ? 5 : 0;
        if (first < 3)
            return 1;
        if (buf.size() < 3)
            return 0;
        qsizetype length = first;
        const quint8 type = quint8(buf[2]);
        if (fromServer && (type & 0x3F) == 2)
            length += ((type & 0x80) ? 250 : 0) + ((type & 0x40) ? 250 : 0);
        return buf.size() >= length ? length : 0;
    }

    bool sendAll(int fd, const char *data, qsizetype size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                return false;
            }
            data += n;
            size -= n;
        }
        return true;
    }

    std::optional<Cut> draw(quint8 type)
    {
        if (!m_cutting)
            return std::nullopt;
        std::uniform_real_distribution<double> share(0.0, 1.0);
        const double p = type == 3 ? m_closeCutShare : m_cutShare;
        if (share(m_random) >= p)
            return std::nullopt;
        return Cut(std::uniform_int_distribution<int>(0, CutKinds - 1)(m_random));
    }

    void count(Cut cut, quint8 type)
    {
        std::lock_guard lock(m_mutex);
        ++m_figures.cuts;
        ++m_figures.cutsByKind[cut];
        if (type == 3)
            ++m_figures.closeCutsByKind[cut];
    }

    // The station reads what was sent, then finds the connection closed.
    void closeAfterDelivery(int station)
    {
        ::shutdown(station, SHUT_WR);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        char sink[512];
        while (!m_stop && std::chrono::steady_clock::now() < until) {
            pollfd p{station, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            if (::recv(station, sink, sizeof sink, 0) <= 0)
                break;
        }
    }

    void relay(int station, int server)
    {
        QByteArray fromStation;
        QByteArray fromServer;
        Cut pending = CutKinds; // cut at the answer to the last frame; CutKinds: none
        quint8 pendingType = 0;
        char chunk[4096];
        while (!m_stop) {
            pollfd p[2] = {{station, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            if (p[0].revents) {
                const ssize_t n = ::recv(station, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return;
                fromStation.append(chunk, n);
                while (const qsizetype size = unitSize(fromStation, false)) {
                    const QByteArray unit = fromStation.left(size);
                    fromStation.remove(0, size);
                    const bool frame = size >= 3 && quint8(unit[0]) != 0x01
                                       && !(size == 3 && unit[0] == 'w' && unit[1] == 'w');
                    if (frame) {
                        const quint8 type = quint8(unit[2]) & 0x3F;
                        {
                            std::lock_guard lock(m_mutex);
                            ++m_figures.framesSeen;
                        }
                        if (const std::optional<Cut> cut = draw(type)) {
                            if (*cut == BeforeFrame) {
                                count(*cut, type);
                                return;
                            }
                            pending = *cut;
                            pendingType = type;
                        }
                    }
                    if (!sendAll(server, unit.constData(), unit.size()))
                        return;
                }
            }
            if (p[1].revents) {
                const ssize_t n = ::recv(server, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return;
                fromServer.append(chunk, n);
                while (const qsizetype size = unitSize(fromServer, true)) {
                    const QByteArray unit = fromServer.left(size);
                    fromServer.remove(0, size);
                    const bool answer = quint8(unit[0]) == 0x01;
                    if (answer && pending == BeforeAnswer) {
                        count(pending, pendingType);
                        return;
                    }
                    if (!sendAll(station, unit.constData(), unit.size()))
                        return;
                    if (answer && pending == AfterAnswer) {
                        count(pending, pendingType);
                        ::shutdown(server, SHUT_RDWR);
                        closeAfterDelivery(station);
                        return;
                    }
                    if (answer)
                        pending = CutKinds;
                }
            }
        }
    }

    quint16 m_upstreamPort = 0;
    quint16 m_port = 0;
    int m_listen = -1;
    std::mt19937 m_random;
    double m_cutShare;
    double m_closeCutShare;
    std::atomic<bool> m_cutting{true};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    Figures m_figures;
    bool m_inSession = false;
    std::thread m_thread;
};
