#pragma once

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

// A small web server on 127.0.0.1 for the viewer's HTTP test, in a thread of
// its own (the test blocks the GUI thread while it waits for the answer).
// For each connection it reads the request line, sends the answer and then
// closes the connection or keeps it open until the client goes.
class LoopbackWebServer : public QThread
{
public:
    LoopbackWebServer(QByteArray answer, bool closeAfterAnswer)
        : m_answer(std::move(answer))
        , m_close(closeAfterAnswer)
    {}
    ~LoopbackWebServer() override
    {
        m_stop = true;
        wait();
    }

    // False when it cannot listen.
    bool begin()
    {
        start();
        m_ready.acquire();
        return m_port != 0;
    }
    quint16 port() const { return m_port; }
    QByteArray request() const
    {
        QMutexLocker lock(&m_mutex);
        return m_request;
    }
    int connections() const { return m_connections; }

protected:
    void run() override
    {
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost, 0))
            m_port = server.serverPort();
        m_ready.release();
        if (!m_port)
            return;
        while (!m_stop) {
            if (!server.waitForNewConnection(50))
                continue;
            QTcpSocket *client = server.nextPendingConnection();
            ++m_connections;
            QByteArray request;
            while (!m_stop && !request.contains("\r\n") && client->state() == QAbstractSocket::ConnectedState)
                if (client->waitForReadyRead(50))
                    request += client->readAll();
            {
                QMutexLocker lock(&m_mutex);
                m_request = request;
            }
            client->write(m_answer);
            client->waitForBytesWritten(2000);
            if (!m_close)
                while (!m_stop && client->state() == QAbstractSocket::ConnectedState)
                    client->waitForReadyRead(50);
            client->disconnectFromHost();
            if (client->state() != QAbstractSocket::UnconnectedState)
                client->waitForDisconnected(1000);
            delete client;
        }
    }

private:
    const QByteArray m_answer;
    const bool m_close;
    std::atomic<bool> m_stop{false};
    std::atomic<quint16> m_port{0};
    std::atomic<int> m_connections{0};
    QSemaphore m_ready;
    mutable QMutex m_mutex;
    QByteArray m_request;
};
