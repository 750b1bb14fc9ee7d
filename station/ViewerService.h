#pragma once

#include <QtGlobal>

#include <memory>
#include <mutex>
#include <set>

class MyClientConnectThread;
class QTcpServer;
class RemoteConfigTarget;
class StationCore;

// How long a viewer connection waits. Each wait ends as soon as the viewer's
// text arrives; only a viewer that sends nothing makes it last its bound.
struct ViewerWaits
{
    int answerMs = 1000; // one answer of the viewer
    int idleMs = 1000;   // a loop pass without a text, a new measurement or the shut-down (a fallback: each wakes the wait)
    int startMs = 100;   // before the first pass (on the station's clock)
};

// The viewer service: the listening socket for the viewer program, the
// search for a free port from the platform's base port (2002) upwards (the
// port found gives the instance number), and one MyClientConnectThread per
// accepted viewer. GUI thread, but for the connection threads themselves.
class ViewerService
{
public:
    // At most this many viewers are served at the same time; a connection
    // beyond them is closed at once. Each costs a thread and a socket; the
    // bound keeps a flood of connections from using up the process's
    // threads and descriptors.
    static constexpr int MaxConnections = 256;

    explicit ViewerService(StationCore &core);
    // Tells the running connection threads to end and waits a little for
    // them.
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

    // Accept handler of the listening socket: starts a connection thread for
    // the accepted connection, which the thread then owns alone, and shows
    // the time in LabelLastConnection.
    void ServerSocketAccept(qintptr descriptor);

    // Where a remote configuration goes (the main window); none: the
    // configuration is taken but nothing is shown or saved. GUI thread; the
    // connection threads read it in their hand-overs only.
    void setRemoteTarget(RemoteConfigTarget *target) { m_target = target; }
    RemoteConfigTarget *remoteTarget() const { return m_target; }

    void setWaits(const ViewerWaits &waits) { m_waits = waits; }
    const ViewerWaits &waits() const { return m_waits; }

    // Connection threads not yet released.
    int connectionThreads() const;

private:
    void release(MyClientConnectThread *thread);

    StationCore &m_core;
    std::unique_ptr<QTcpServer> m_socket;
    int m_instanceNumber = 1;
    RemoteConfigTarget *m_target = nullptr;
    ViewerWaits m_waits;
    mutable std::mutex m_mutex;
    std::set<MyClientConnectThread *> m_threads;
};
