#include "station/ViewerService.h"

#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/MyClientConnectThread.h"
#include "station/StationCore.h"
#include "station/ViewerServiceTexts.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace {

// The listening socket: hands each accepted connection's descriptor on
// without making a socket of it here, so that the connection thread creates
// its socket itself.
class ViewerListenSocket : public QTcpServer
{
public:
    explicit ViewerListenSocket(std::function<void(qintptr)> accept)
        : m_accept(std::move(accept))
    {}

protected:
    void incomingConnection(qintptr descriptor) override { m_accept(descriptor); }

private:
    std::function<void(qintptr)> m_accept;
};

} // namespace

ViewerService::ViewerService(StationCore &core)
    : m_core(core)
{}

ViewerService::~ViewerService()
{
    std::set<MyClientConnectThread *> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (MyClientConnectThread *t : threads)
        t->requestStop();
    for (MyClientConnectThread *t : threads) {
        // A thread that does not end in time (it waits for a lock that is
        // never released) is left to end with the process.
        if (t->wait(3000))
            delete t;
    }
}

void ViewerService::open()
{
    if (m_socket)
        return;
    m_socket =
        std::make_unique<ViewerListenSocket>([this](qintptr descriptor) { ServerSocketAccept(descriptor); });
    m_socket->setObjectName(QStringLiteral("ServerSocket"));
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

int ViewerService::connectionThreads() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_threads.size());
}

void ViewerService::ServerSocketAccept(qintptr descriptor)
{
    if (connectionThreads() >= MaxConnections || m_core.state.TerminateRequested.load()) {
        QTcpSocket refused;
        if (refused.setSocketDescriptor(descriptor))
            refused.abort();
        return;
    }
    auto *thread = new MyClientConnectThread(m_core, *this, descriptor);
    {
        std::lock_guard lock(m_mutex);
        m_threads.insert(thread);
    }
    QObject::connect(
        thread, &QThread::finished, m_socket.get(), [this, thread] { release(thread); },
        Qt::QueuedConnection);
    m_core.view().setLastConnectionText(Text8::cp(ViewerServiceTexts::LastConnectionPrefix) +
                                        LocaleFormat::dateTime(m_core.clock().localDateTime()));
    // Counted before it runs, so that a shut-down that comes meanwhile
    // waits for it.
    m_core.state.ActiveThreadCount.fetch_add(1);
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // No thread could be made (the process is out of them): the
        // connection is closed here and nothing stays counted.
        {
            std::lock_guard lock(m_mutex);
            m_threads.erase(thread);
        }
        m_core.state.ActiveThreadCount.fetch_sub(1);
        delete thread;
        QTcpSocket refused;
        if (refused.setSocketDescriptor(descriptor))
            refused.abort();
    }
}

void ViewerService::release(MyClientConnectThread *thread)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_threads.erase(thread) == 0)
            return;
    }
    thread->wait();
    delete thread;
}
