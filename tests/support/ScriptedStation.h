#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A station played by a test: a plain listening socket on a thread of its
// own that accepts one viewer and runs a script of writes and reads, one text
// per write. The test's thread stays free to serve the viewer window's
// hand-overs meanwhile.
class ScriptedStation
{
public:
    class Link
    {
    public:
        explicit Link(QTcpSocket &socket)
            : m_socket(socket)
        {}
        // What has arrived within waitMs (real time, spent only when the
        // viewer is late or silent) as one text; empty when nothing came.
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
        // Sends each text and reads its answer; returns the answers.
        QByteArrayList exchange(const QByteArrayList &texts)
        {
            QByteArrayList answers;
            for (const QByteArray &t : texts) {
                write(t);
                answers.append(read());
            }
            return answers;
        }
        // True once the viewer has closed its side.
        bool closedByViewer(int waitMs = 5000)
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

    explicit ScriptedStation(std::function<void(Link &)> script)
    {
        m_thread = std::thread([this, script = std::move(script)] {
            QTcpServer server;
            if (!server.listen(QHostAddress::LocalHost, 0)) {
                m_port = 1;
                m_done = true;
                return;
            }
            m_port = server.serverPort();
            if (server.waitForNewConnection(10000)) {
                QTcpSocket *socket = server.nextPendingConnection();
                m_accepted = true;
                Link link(*socket);
                script(link);
                socket->abort();
                delete socket;
            }
            m_done = true;
        });
        while (m_port == 0)
            std::this_thread::yield();
    }
    ~ScriptedStation() { join(); }
    ScriptedStation(const ScriptedStation &) = delete;
    ScriptedStation &operator=(const ScriptedStation &) = delete;

    quint16 port() const { return m_port; }
    bool done() const { return m_done; }
    bool accepted() const { return m_accepted; }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
    std::atomic<quint16> m_port{0};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_accepted{false};
};
