// The transport of a report connection: the socket of one attempt, the
// way through a SOCKS or HTTP proxy, connecting within the bound and taking
// the connection down again.

#include "reporting/ServerTransport.h"

#include "common/Text8.h"
#include "reporting/FrameSocket.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "station/StationCore.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

constexpr int kDisconnectWaitMs = 3000;

} // namespace

ServerTransport::ServerTransport(StationCore &core, std::shared_ptr<HttpProxyConnector> httpProxy)
    : m_core(core)
    , m_httpProxy(std::move(httpProxy))
{
}

ServerTransport::~ServerTransport() = default;

FrameSocket *ServerTransport::Cl2Socket() const
{
    return m_client.get();
}

void ServerTransport::reset()
{
    m_client.reset();
    m_handler.reset();
}

void ServerTransport::PrepareConnection()
{
    const StationConfig &cfg = m_core.config;
    const ProxySettings &p = cfg.Proxy;

    qint64 port = 0;
    if (!toInteger(cfg.ServerPort, port))
        throw std::runtime_error(("'" + cfg.ServerPort + "'" + NotAPortNumber).toStdString());
    Cl2SocketPort = static_cast<quint16>(port & 0xFFFF);

    m_client.reset();
    m_handler = std::make_unique<QTcpSocket>();
    m_handler->setProxy(QNetworkProxy::NoProxy);

    const quint16 proxyPort = static_cast<quint16>(p.ProxyPort & 0xFFFF);
    IdSocks = ProxyEndpoint{p.ProxyHost, proxyPort, p.ProxyUser, p.ProxyPassword, false};
    IdConnectThroughHttpProxy = ProxyEndpoint{p.ProxyHost, proxyPort, p.ProxyUser, p.ProxyPassword, false};
    if (p.UseProxy) {
        {
            SharedDataLock lock(m_core.semaphore);
            m_core.appendStatusLine(cp(ProxyPrepared));
            m_core.appendStatusLine(cp(ProxyAddress) + p.ProxyHost + ':' + QByteArray::number(p.ProxyPort));
        }
        if (p.ProxyKind == SocksKind) {
            IdSocks.Enabled = true;
            m_handler->setProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, Text8::toQString(IdSocks.host),
                                              IdSocks.port, Text8::toQString(IdSocks.user),
                                              Text8::toQString(IdSocks.password)));
        } else {
            IdConnectThroughHttpProxy.Enabled = true;
        }
    }

    Cl2SocketHost = cfg.ServerHost;
    m_client = std::make_unique<TcpFrameSocket>(m_handler.get());
    m_client->setReadTimeoutLimit(ReadTimeoutLimitMs);
}

bool ServerTransport::ConnectServer(QByteArray &message)
{
    if (!m_handler) {
        message = cp(ProxyRefused);
        return false;
    }
    QTcpSocket &socket = *m_handler;
    const bool viaHttp = IdConnectThroughHttpProxy.Enabled;
    if (viaHttp && !m_httpProxy) {
        message = cp(ProxyRefused);
        return false;
    }
    const QString host = Text8::toQString(viaHttp ? IdConnectThroughHttpProxy.host : Cl2SocketHost);
    const quint16 port = viaHttp ? IdConnectThroughHttpProxy.port : Cl2SocketPort;

    QElapsedTimer elapsed;
    elapsed.start();
    // With a SOCKS proxy the socket counts as connected only once the
    // proxy's handshake (method, user name and password, CONNECT) is done.
    socket.connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
    if (!socket.waitForConnected(ConnectTimeoutMs)) {
        message = Text8::fromQString(socket.errorString());
        socket.abort();
        return false;
    }
    if (viaHttp) {
        const int left = std::max(0, ConnectTimeoutMs - int(elapsed.elapsed()));
        QString error;
        if (!m_httpProxy->MakeConnection(socket, IdConnectThroughHttpProxy, Cl2SocketHost, Cl2SocketPort,
                                         left, error)) {
            message = Text8::fromQString(error);
            socket.abort();
            return false;
        }
    }
    TcpFrameSocket::setLowDelay(socket);
    return true;
}

void ServerTransport::DisconnectServer()
{
    auto guarded = [this](const char *prefix, auto &&step) {
        try {
            step();
        } catch (const std::exception &e) {
            try {
                m_core.appendStatusLineLocked(QByteArray(prefix) + Text8::fromQString(QString::fromLocal8Bit(e.what())));
            } catch (...) {
            }
        } catch (...) {
        }
    };
    guarded("", [this] { m_core.appendStatusLineLocked(cp(DisconnectIfConnected)); });
    guarded("(0) ", [this] {
        if (m_handler && m_handler->state() != QAbstractSocket::UnconnectedState) {
            m_handler->disconnectFromHost();
            if (m_handler->state() != QAbstractSocket::UnconnectedState)
                m_handler->waitForDisconnected(kDisconnectWaitMs);
        }
    });
    guarded("(1) ", [this] {
        if (m_handler)
            m_handler->close();
    });
    guarded("(2) ", [this] {
        if (m_handler)
            m_handler->abort();
    });
    if (m_core.config.Proxy.UseProxy)
        guarded("", [this] { m_core.appendStatusLineLocked(cp(ProxyEnded)); });
}
