#pragma once

#include "common/Clock.h"
#include "common/ViewerProtocol.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <array>
#include <atomic>
#include <optional>

class QTcpSocket;
class RemoteStationState;
class GuiHandover;
class ViewerView;

// The viewer's side of the station link (the station has a class of the same
// name; this one lives in namespace viewer).
namespace viewer {

// Poll rhythm of the connection thread. Production: 10 ms per poll, a
// pending configuration goes out after more than 500 idle polls, an answer
// is awaited for up to 20000 polls.
struct ConnectionTimings
{
    int pollMs = 10;
    int idlePolls = 500;
    int answerPolls = 20000;
    int connectMs = 30000;
};

// What the main window gives each connection thread. The window outlives
// every thread it has started.
struct ConnectionContext
{
    RemoteStationState &state;
    ViewerView &view;
    GuiHandover &handover;
    Clock &clock;
    // Set at the end of the current connection; Timer1 reports it.
    std::atomic<bool> &connectionLost;
    // Number of the window's current connection: a thread whose number is
    // no longer current sets no ConnectionLost and sends no configuration.
    std::atomic<quint64> &currentConnection;
    ConnectionTimings timings;
};

// One thread per connection: owns its socket (created in the thread), reads
// the station's measurement messages, hands every display update and status
// line to the GUI thread and waits for it, and sends the remote
// configuration when the dialog asks for it. It touches no widget.
class MyClientConnectThread : public QThread
{
public:
    MyClientConnectThread(ConnectionContext context, quint64 number, QString host, quint16 port,
                          QObject *parent = nullptr);
    ~MyClientConnectThread() override;

    quint64 number() const { return m_number; }
    // "Trennen": answer "BREAK" at the end of the next complete message.
    void requestDisconnect() { m_disconnectRequested = true; }
    bool disconnectRequested() const { return m_disconnectRequested; }
    // Timer1 or the window's end: drop the connection at the next poll.
    void requestClose() { m_closeRequested = true; }

protected:
    void run() override;

private:
    void Execute(QTcpSocket &socket);
    // One received text; false when the receive loop has to end.
    bool handleText(QTcpSocket &socket, const QByteArray &text);
    void showIndex(int index, const QByteArray &text);
    void showValues();
    void showCpu();
    // False when the request has to wait: ConfigState is not 2 yet.
    bool SendConfiguration(QTcpSocket &socket);
    // Waits up to `polls` polls for one text; the polls not spent are left
    // in `polls`.
    QByteArray WaitForText(QTcpSocket &socket, int &polls);
    QByteArray WaitForText(QTcpSocket &socket);
    // The station's answer to "<CONFIG>", past the texts it sent before it
    // had the "<CONFIG>", within one answer wait in all.
    ViewerProtocol::ConfigReply waitForConfigReply(QTcpSocket &socket);
    bool waitForConnection(QTcpSocket &socket);
    void SocketError(QTcpSocket &socket);
    bool send(QTcpSocket &socket, const QByteArray &text);
    QByteArray readText(QTcpSocket &socket);
    bool connected(const QTcpSocket &socket) const;
    bool isCurrent() const;
    void terminate(QTcpSocket &socket);
    void status(const QByteArray &line);
    // Runs `task` on the GUI thread; false (and the thread ends) when the
    // window no longer takes hand-overs.
    template <typename F> bool gui(F &&task);

    ConnectionContext m_ctx;
    const quint64 m_number;
    const QString m_host;
    const quint16 m_port;
    std::atomic<bool> m_disconnectRequested{false};
    std::atomic<bool> m_closeRequested{false};
    bool m_terminated = false;

    ViewerProtocol::MeasurementReader m_reader;
    // The limits last converted in this connection (0 before the first).
    std::array<double, 8> m_limitValues{};
    QByteArray m_pendingMinLabel;
};

} // namespace viewer
