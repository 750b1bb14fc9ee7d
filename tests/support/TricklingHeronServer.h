#pragma once

#include "HeronStandin.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

// A HERON server on 127.0.0.1 that trickles: it answers every frame of the
// station "A", and when the station requests a file it accepts, announces
// 752 bytes and sends a data frame of 752 bytes one byte at a time, one byte
// every byteIntervalMs (real time), frame after frame, until the station
// closes the connection or maxBytes went out on it (then it closes); after
// tricklingConnections connections it refuses file requests instead. Before
// each trickled byte it calls onByte (tests move their clock by a second
// there, so that "a byte a second" costs them no real time). It can also
// answer each data frame of the station late (dataAnswerDelayMs, real
// time). It serves one connection after the other in a thread of its own.
class TricklingHeronServer
{
public:
    struct Options
    {
        int byteIntervalMs = 5;
        std::function<void()> onByte;
        int maxBytes = 2000; // trickled bytes per connection
        // Connections that trickle; on the later ones a file request is
        // refused ("C").
        int tricklingConnections = 1 << 30;
        // Real milliseconds before each data frame of the station is
        // answered.
        int dataAnswerDelayMs = 0;
    };

    explicit TricklingHeronServer(Options options)
        : m_options(std::move(options))
    {}
    ~TricklingHeronServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    TricklingHeronServer(const TricklingHeronServer &) = delete;
    TricklingHeronServer &operator=(const TricklingHeronServer &) = delete;

    bool start()
    {
        std::promise<quint16> port;
        std::future<quint16> listening = port.get_future();
        m_thread = std::thread([this, &port] { run(port); });
        m_port = listening.get();
        return m_port != 0;
    }
    quint16 port() const { return m_port; }

    // Connections accepted so far.
    int connections() const { return m_connections.load(); }
    // File requests received, their payloads.
    QList<QByteArray> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // The payloads of all data frames the station sent, one after the other
    // (its uploads: records, logs).
    QByteArray uploaded() const
    {
        std::lock_guard lock(m_mutex);
        return m_uploaded;
    }
    // Data frames the station sent on the connection with this number.
    int dataFrames(int connection) const
    {
        std::lock_guard lock(m_mutex);
        return m_dataFrames.value(connection, 0);
    }
    // Bytes trickled on the connection with this number (from 1) before
    // the station closed it; -1 while it is open or when there was none.
    int trickledBeforeClose(int connection) const
    {
        std::lock_guard lock(m_mutex);
        return m_closedAfter.value(connection, -1);
    }

private:
    void run(std::promise<quint16> &port)
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            port.set_value(0);
            return;
        }
        port.set_value(server.serverPort());
        while (!m_stop) {
            if (!server.waitForNewConnection(50))
                continue;
            QTcpSocket *socket = server.nextPendingConnection();
            if (!socket)
                continue;
            const int number = ++m_connections;
            const int trickled = serve(*socket, number, number <= m_options.tricklingConnections);
            {
                std::lock_guard lock(m_mutex);
                m_closedAfter.insert(number, trickled);
            }
            socket->abort();
            delete socket;
        }
    }

    bool open(QTcpSocket &s) const
    {
        return !m_stop && s.state() == QAbstractSocket::ConnectedState;
    }

    // Exactly n bytes, waiting as long as the connection is open.
    bool read(QTcpSocket &s, int n, QByteArray &out) const
    {
        while (s.bytesAvailable() < n) {
            if (!open(s))
                return false;
            s.waitForReadyRead(20);
        }
        out = s.read(n);
        return true;
    }

    bool write(QTcpSocket &s, const QByteArray &bytes) const
    {
        if (!open(s) || s.write(bytes) != bytes.size())
            return false;
        s.flush();
        while (s.bytesToWrite() > 0 && open(s))
            s.waitForBytesWritten(20);
        return open(s);
    }

    static QByteArray answer() { return QByteArray("\x01\x01\x01\x01", 4) + 'A'; }

    // The bytes trickled when the station closed the connection.
    int serve(QTcpSocket &s, int connection, bool trickling)
    {
        int trickled = 0;
        QByteArray header;
        while (read(s, 3, header)) {
            if (header == QByteArray("\x01\x01\x01", 3)) {
                QByteArray rest;
                if (!read(s, 2, rest))
                    break;
                continue; // an answer of the station
            }
            QByteArray payload;
            const bool request = quint8(header[2]) == 10;
            QByteArray reply = answer();
            if (request && !trickling)
                reply.back() = 'C';
            if (!read(s, quint8(header[0]) - 3, payload))
                break;
            if (quint8(header[2]) == 2) {
                {
                    std::lock_guard lock(m_mutex);
                    m_uploaded += payload;
                    ++m_dataFrames[connection];
                }
                QElapsedTimer late;
                late.start();
                while (late.elapsed() < m_options.dataAnswerDelayMs && open(s))
                    s.waitForReadyRead(5);
            }
            if (!write(s, reply))
                break;
            if (!request || !trickling)
                continue;
            {
                std::lock_guard lock(m_mutex);
                m_requests.append(payload);
            }
            // The station's ready answer, the length frame and its answer.
            QByteArray ready;
            if (!read(s, 5, ready) || !write(s, HeronStandin::encodeFrame(22, QByteArray("\xF0\x02\0\0", 4)))
                || !read(s, 5, ready))
                break;
            // Then the data, byte by byte.
            for (;;) {
                const QByteArray frame = HeronStandin::encodeFrame(2, QByteArray(752, 'T'));
                if (!write(s, frame.left(3)))
                    return trickled;
                for (qsizetype i = 3; i < frame.size(); ++i) {
                    if (trickled >= m_options.maxBytes)
                        return -1; // the station held out; the server gives up
                    QElapsedTimer pause;
                    pause.start();
                    while (pause.elapsed() < m_options.byteIntervalMs) {
                        if (!open(s))
                            return trickled;
                        s.waitForReadyRead(1);
                    }
                    if (m_options.onByte)
                        m_options.onByte();
                    if (!write(s, frame.mid(i, 1)))
                        return trickled;
                    ++trickled;
                }
                if (!read(s, 5, ready))
                    return trickled;
            }
        }
        return trickled;
    }

    Options m_options;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    QByteArray m_uploaded;
    QMap<int, int> m_closedAfter;
    QMap<int, int> m_dataFrames;
};
