#pragma once

#include "reporting/HttpProxyConnector.h"

#include <QByteArray>

#include <memory>

class FrameSocket;
class QTcpSocket;
class StationCore;
class TcpFrameSocket;

// The transport of the report connection: a new socket for each attempt,
// the SOCKS proxy on the socket or the HTTP proxy's handshake after the
// connect, and the frame client the session's routines use.
class ServerTransport
{
public:
    // httpProxy makes the way through an HTTP proxy; without one the HTTP
    // branch fails as a refusing proxy would.
    ServerTransport(StationCore &core, std::shared_ptr<HttpProxyConnector> httpProxy);
    ~ServerTransport();

    // Builds the transport of one attempt (a new socket, the proxy); does not
    // connect. Throws std::runtime_error when ServerPort is no number.
    void PrepareConnection();
    // Closes whatever connection exists; never fails.
    void DisconnectServer();
    // Connects the prepared transport: the TCP connection to the server or
    // the proxy, and with a proxy its handshake, all within ConnectTimeoutMs.
    // false with the reason in message (code-page text).
    bool ConnectServer(QByteArray &message);
    // Drops the socket and the client.
    void reset();

    // Bound of one connect, handshake included. The platform's own connect
    // gives up after about 21 s (three SYNs); the transport keeps that bound
    // on every platform, and it bounds a stalling proxy too.
    static constexpr int ConnectTimeoutMs = 21000;

    // The client that the frame routines use once connected; null before the
    // first PrepareConnection.
    FrameSocket *Cl2Socket() const;
    QTcpSocket *ReportIOHandler() const { return m_handler.get(); }
    // Host and port of the prepared attempt.
    QByteArray Cl2SocketHost;
    quint16 Cl2SocketPort = 0;
    // The two proxy objects; at most one is Enabled after PrepareConnection.
    ProxyEndpoint IdSocks;
    ProxyEndpoint IdConnectThroughHttpProxy;

    // Upper bound of every read wait on the report connection, in
    // milliseconds; -1 (the default) leaves the frame routines' own
    // time-outs. Tests set it so that a silent server costs no real time.
    int ReadTimeoutLimitMs = -1;

private:
    StationCore &m_core;
    std::shared_ptr<HttpProxyConnector> m_httpProxy;
    std::unique_ptr<QTcpSocket> m_handler;
    std::unique_ptr<TcpFrameSocket> m_client;
};
