#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QTcpSocket>

#include <atomic>
#include <functional>
#include <thread>

// A viewer played by a test: a plain socket on a thread of its own that
// connects to the station's viewer port and runs a script of reads and
// writes, one text per write. The test's own thread stays free to serve the
// station's hand-overs meanwhile (see pumpUntil).
class ViewerPeer
{
public:
    class Link
    {
    public:
        explicit Link(QTcpSocket &socket)
            : m_socket(socket)
        {}
        // What has arrived within waitMs (real time; spent only while the
        // station is slow or silent), as one text; empty when nothing came.
        QByteArray read(int waitMs = 5000)
        {
            if (m_socket.bytesAvailable() == 0)
                m_socket.waitForReadyRead(waitMs);
            return m_socket.readAll();
        }
        void write(const QByteArray &text)
        {
            m_socket.write(text);
            m_socket.waitForBytesWritten(5000);
        }
        // Reads one text and answers it.
        QByteArray readAndAnswer(const QByteArray &answer = "OK")
        {
            const QByteArray text = read();
            if (!text.isEmpty())
                write(answer);
            return text;
        }
        // True once the station has closed its side.
        bool closedByStation(int waitMs = 5000)
        {
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                return true;
            m_socket.waitForDisconnected(waitMs);
            return m_socket.state() != QAbstractSocket::ConnectedState;
        }
        QTcpSocket &socket() { return m_socket; }

    private:
        QTcpSocket &m_socket;
    };

    ViewerPeer(quint16 port, std::function<void(Link &)> script)
    {
        m_thread = std::thread([this, port, script = std::move(script)] {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            m_connected = socket.waitForConnected(5000);
            if (m_connected) {
                Link link(socket);
                script(link);
            }
            socket.abort();
            m_done = true;
        });
    }
    ~ViewerPeer() { join(); }
    ViewerPeer(const ViewerPeer &) = delete;
    ViewerPeer &operator=(const ViewerPeer &) = delete;

    bool done() const { return m_done.load(); }
    bool connected() const { return m_connected.load(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_connected{false};
};
