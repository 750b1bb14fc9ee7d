#include "station/ViewerService.h"

#include "station/StationCore.h"

#include <QTcpServer>
#include <QTcpSocket>

ViewerService::ViewerService(StationCore &core)
    : m_core(core)
{}

ViewerService::~ViewerService() = default;

void ViewerService::open()
{
    if (m_socket)
        return;
    m_socket = std::make_unique<QTcpServer>();
    m_socket->setObjectName(QStringLiteral("ServerSocket"));
    QTcpServer *server = m_socket.get();
    QObject::connect(server, &QTcpServer::newConnection, server, [server] {
        while (QTcpSocket *s = server->nextPendingConnection()) {
            s->close();
            s->deleteLater();
        }
    });
}

void ViewerService::listen()
{
    if (!m_socket)
        return;
    const StationPlatform &platform = m_core.platform();
    quint32 port = platform.viewerBasePort;
    int tries = 1;
    while (!m_socket->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        if (tries >= platform.viewerPortTries || port >= 65535)
            break;
        ++port;
        ++m_instanceNumber;
        ++tries;
    }
}
