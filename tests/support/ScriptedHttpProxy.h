#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>
#include <mutex>

// An HTTP proxy on 127.0.0.1 that plays a script, for tests of the station's
// proxy exchange. It runs in a thread of its own. Each connection takes the
// requests as they come (a request ends with an empty line, or, when its
// first line carries a Digest authorisation, with that one line) and answers
// each with the next step of the script. A step may close the connection
// after its reply, or turn the connection into a relay to the target, so
// that after its "200 OK" the bytes go to and from the server unchanged.
// Requests past the end of the script are recorded and not answered.
class ScriptedHttpProxy
{
public:
    struct Step
    {
        QByteArray reply;       // sent as it stands
        bool closeAfter = false; // close the connection once the reply is out
        bool relayAfter = false; // relay to the target from now on
    };

    ScriptedHttpProxy() { m_thread.start(); }
    ~ScriptedHttpProxy()
    {
        if (m_server)
            QMetaObject::invokeMethod(m_server.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    ScriptedHttpProxy(const ScriptedHttpProxy &) = delete;
    ScriptedHttpProxy &operator=(const ScriptedHttpProxy &) = delete;

    // Set before start().
    void setScript(QList<Step> steps) { m_script = std::move(steps); }
    void setRelayTarget(quint16 port) { m_targetPort = port; }

    bool start()
    {
        bool ok = false;
        m_anchor.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_anchor,
            [&] {
                m_server = std::make_unique<QTcpServer>();
                QObject::connect(m_server.get(), &QTcpServer::newConnection, m_server.get(), [this] {
                    while (QTcpSocket *client = m_server->nextPendingConnection())
                        serve(client);
                });
                ok = m_server->listen(QHostAddress::LocalHost, 0);
                m_port = m_server->serverPort();
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }
    quint16 port() const { return m_port; }

    // Every request received, in order, as its bytes came.
    QList<QByteArray> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    int connections() const
    {
        std::lock_guard lock(m_mutex);
        return m_connections;
    }

private:
    static qsizetype requestEnd(const QByteArray &buffer)
    {
        const qsizetype firstLine = buffer.indexOf("\r\n");
        if (firstLine < 0)
            return -1;
        if (buffer.left(firstLine).contains("Proxy-Authorization: Digest"))
            return firstLine + 2;
        const qsizetype blank = buffer.indexOf("\r\n\r\n");
        return blank < 0 ? -1 : blank + 4;
    }

    void serve(QTcpSocket *client)
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_connections;
        }
        client->setParent(m_server.get());
        auto state = std::make_shared<QByteArray>();
        auto step = std::make_shared<int>(0);
        auto upstream = std::make_shared<QTcpSocket *>(nullptr);
        QObject::connect(client, &QTcpSocket::readyRead, client, [=, this] {
            if (*upstream) {
                (*upstream)->write(client->readAll());
                return;
            }
            *state += client->readAll();
            for (qsizetype end; !*upstream && (end = requestEnd(*state)) >= 0;) {
                {
                    std::lock_guard lock(m_mutex);
                    m_requests.append(state->left(end));
                }
                state->remove(0, end);
                if (*step >= m_script.size())
                    continue;
                const Step s = m_script[(*step)++];
                client->write(s.reply);
                if (s.closeAfter) {
                    client->disconnectFromHost();
                    return;
                }
                if (s.relayAfter) {
                    auto *up = new QTcpSocket(client);
                    *upstream = up;
                    QObject::connect(up, &QTcpSocket::readyRead, client, [=] { client->write(up->readAll()); });
                    QObject::connect(up, &QTcpSocket::disconnected, client, [=] { client->disconnectFromHost(); });
                    QObject::connect(client, &QTcpSocket::disconnected, up, [=] { up->disconnectFromHost(); });
                    up->connectToHost(QHostAddress::LocalHost, m_targetPort);
                    if (!state->isEmpty())
                        up->write(*state); // sent once connected
                    state->clear();
                }
            }
        });
        QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

    QThread m_thread;
    QObject m_anchor;
    std::unique_ptr<QTcpServer> m_server;
    quint16 m_port = 0;
    quint16 m_targetPort = 0;
    QList<Step> m_script;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    int m_connections = 0;
};
