#pragma once

#include "common/Clock.h"
#include "reporting/HttpProxyConnector.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <stdexcept>

class QTcpSocket;

// The proxy refused the way to the server; the message is the proxy's reply
// (code-page bytes) or the socket's reason.
class EIdHttpProxyError : public std::runtime_error
{
public:
    explicit EIdHttpProxyError(const QByteArray &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {}
    const QByteArray &message() const { return m_message; }

private:
    QByteArray m_message;
};

// The station's own way through an HTTP proxy: on the open TCP connection to
// the proxy, before the first frame, a GET-style request to the server's
// host and port, when asked a second one with Basic or Digest proxy
// authorisation, and a log of the exchange in proxylog.txt. Not the CONNECT
// method. One object per connecting thread.
//
// The exchange reads from the blocking socket; all of it, restarts after
// "407 " included, shares the time that the caller grants (the transport's
// connect bound). A proxy that has not answered by then fails the connect.
class TIdConnectThroughHttpProxy : public HttpProxyConnector
{
public:
    // beep sounds the system beep (may be empty); the short pauses of the
    // reply reads go through clock; the log goes to logPath.
    explicit TIdConnectThroughHttpProxy(std::function<void()> beep = {}, Clock &clock = Clock::system(),
                                        QString logPath = QString());

    // Properties, set before each connect.
    QByteArray Host;
    quint16 Port = 0;
    QByteArray Username; // stored user name: a leading "5" is removed by the exchange
    QByteArray Password;
    // The exchange is the same for either version.
    QAbstractSocket::NetworkLayerProtocol IPVersion = QAbstractSocket::IPv4Protocol;
    virtual bool GetEnabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled) { m_enabled = enabled; }

    // Takes the proxy's settings into the properties and runs the exchange
    // within timeoutMs (< 0: without a limit). false with the reason in
    // error when the proxy refused or did not answer in time.
    bool MakeConnection(QTcpSocket &socket, const ProxyEndpoint &proxy, const QByteArray &targetHost,
                        quint16 targetPort, int timeoutMs, QString &error) override;

    // The exchange; throws EIdHttpProxyError. The login flag changes nothing.
    virtual void ConnectThroughHttpProxy(QTcpSocket &socket, const QByteArray &targetHost, quint16 targetPort,
                                 bool login, QDeadlineTimer deadline = QDeadlineTimer::Forever);

    // Exchanges started again after a "407 " reply 2; one more "407 " after
    // the last of them fails the connect with reply 2 as the message.
    static constexpr int MaxRestarts = 3;
    // Unfinished lines longer than this are cut here; a reply stops growing
    // after MaxReplyBytes.
    static constexpr int MaxLineBytes = 16384;
    static constexpr int MaxReplyBytes = 65536;

    // The Digest branch's values of the last exchange (for the log and tests).
    struct Challenge
    {
        QByteArray qop, nonce, opaque, realm;
    };
    // The four values searched in reply 1: the first `key="` in its lower-
    // case form, the value as received up to the next double quote or the end.
    static Challenge parseChallenge(const QByteArray &reply);

private:
    void send(QTcpSocket &socket, const QByteArray &text, const QDeadlineTimer &deadline);
    QByteArray readReply(QTcpSocket &socket, const QDeadlineTimer &deadline);
    void appendLog(const QByteArray &entry);
    void beep();

    std::function<void()> m_beep;
    Clock &m_clock;
    QString m_logPath;
    bool m_enabled = false;
};
