#pragma once

#include <QtGlobal>

#include <memory>

class QTcpServer;
class StationCore;

// The viewer service: the listening socket for the viewer program and the
// search for a free port from the platform's base port (2002) upwards; the
// port found gives the instance number. Connections are taken and closed.
class ViewerService
{
public:
    explicit ViewerService(StationCore &core);
    ~ViewerService();
    ViewerService(const ViewerService &) = delete;
    ViewerService &operator=(const ViewerService &) = delete;

    // Creates the listening socket (not listening yet), once.
    void open();
    // Listens on the first free port of at most the platform's number of
    // tries; the instance number counts the ports tried. Without a socket the
    // instance number stays 1.
    void listen();

    int instanceNumber() const { return m_instanceNumber; }
    void resetInstanceNumber() { m_instanceNumber = 1; }
    QTcpServer *socket() const { return m_socket.get(); }

private:
    StationCore &m_core;
    std::unique_ptr<QTcpServer> m_socket;
    int m_instanceNumber = 1;
};
