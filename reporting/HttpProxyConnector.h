#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QTcpSocket;

// Settings of one proxy object of the report transport: where the proxy is,
// whom it lets through, and whether it is the transport's proxy for the
// current attempt. Texts are code-page bytes.
struct ProxyEndpoint
{
    QByteArray host;
    quint16 port = 0; // the low 16 bits of the configured port
    QByteArray user;
    QByteArray password;
    bool Enabled = false;
};

// The station's own way through an HTTP proxy. The report transport opens
// the TCP connection to the proxy and then hands it here, before any frame
// is sent; when this returns true the connection carries the frames to the
// server.
class HttpProxyConnector
{
public:
    virtual ~HttpProxyConnector() = default;

    // socket is connected to proxy.host:proxy.port. Talks to the proxy until
    // the way to targetHost:targetPort stands (true) or the proxy refuses
    // (false, with the reason in error). Returns within timeoutMs.
    virtual bool MakeConnection(QTcpSocket &socket, const ProxyEndpoint &proxy, const QByteArray &targetHost,
                                quint16 targetPort, int timeoutMs, QString &error) = 0;
};
