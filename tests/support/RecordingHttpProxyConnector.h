#pragma once

#include "reporting/HttpProxyConnector.h"

#include <QTcpSocket>

// An HTTP-proxy connector that records how it was called and answers as told.
class RecordingHttpProxyConnector : public HttpProxyConnector
{
public:
    bool MakeConnection(QTcpSocket &socket, const ProxyEndpoint &proxy, const QByteArray &targetHost,
                        quint16 targetPort, int timeoutMs, QString &error) override
    {
        ++calls;
        socketConnected = socket.state() == QAbstractSocket::ConnectedState;
        peerPort = socket.peerPort();
        this->proxy = proxy;
        this->targetHost = targetHost;
        this->targetPort = targetPort;
        this->timeoutMs = timeoutMs;
        if (!accept)
            error = refusal;
        return accept;
    }

    bool accept = false;
    QString refusal = QStringLiteral("HTTP/1.1 403 Forbidden");
    int calls = 0;
    bool socketConnected = false;
    quint16 peerPort = 0;
    ProxyEndpoint proxy;
    QByteArray targetHost;
    quint16 targetPort = 0;
    int timeoutMs = -1;
};
