#include "station/MyClientConnectThread.h"

#include "common/Text8.h"
#include "common/ViewerProtocol.h"
#include "common/ViewerTexts.h"
#include "station/ConfigValueChecks.h"
#include "station/RemoteConfigTarget.h"
#include "station/StationCore.h"
#include "station/ViewerServiceTexts.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace VP = ViewerProtocol;

MyClientConnectThread::MyClientConnectThread(StationCore &core, ViewerService &service, qintptr descriptor)
    : m_core(core)
    , m_service(service)
    , m_waits(service.waits())
    , m_descriptor(descriptor)
{
    setObjectName(QStringLiteral("MyClientConnectThread"));
}

MyClientConnectThread::~MyClientConnectThread() = default;

void MyClientConnectThread::requestStop()
{
    requestInterruption();
    m_wake.wake();
}

bool MyClientConnectThread::up() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool MyClientConnectThread::stopRequested() const
{
    return m_core.state.TerminateRequested.load() || isInterruptionRequested();
}

void MyClientConnectThread::drop()
{
    m_end = true;
    if (m_socket) {
        m_socket->close();
        m_socket->abort();
    }
}

QByteArray MyClientConnectThread::readText(int waitMs)
{
    if (!m_socket)
        return {};
    // While the socket's own buffer is empty the wait and the read go to the
    // line itself: one poll and one recv per text, where the socket's wait
    // would add a size query and its read notification.
    const qintptr fd = m_socket->socketDescriptor();
    if (fd >= 0 && waitMs > 0 && m_socket->bytesAvailable() == 0 && up()) {
        pollfd p{static_cast<int>(fd), POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, waitMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0)
            return {};
        char buffer[MaxTextBytes + 1];
        ssize_t n;
        do {
            n = ::recv(static_cast<int>(fd), buffer, sizeof buffer, MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return {};
        if (n <= 0 || n > MaxTextBytes) { // gone, broken or no viewer's text
            drop();
            return {};
        }
        return QByteArray(buffer, static_cast<qsizetype>(n));
    }
    if (m_socket->bytesAvailable() == 0 && waitMs > 0 && up())
        m_socket->waitForReadyRead(waitMs);
    if (m_socket->bytesAvailable() > MaxTextBytes) {
        drop();
        return {};
    }
    return m_socket->readAll();
}

bool MyClientConnectThread::send(const QByteArray &text)
{
    if (!up()) {
        drop();
        return false;
    }
    // One text, one send on the socket itself while nothing waits in the
    // socket's own buffer: the buffer would arm and disarm a write
    // notifier, two wake-ups of this thread's event dispatcher per text.
    // What the line does not take at once waits in that buffer, behind
    // which every later text goes.
    qsizetype sent = 0;
    const qintptr fd = m_socket->socketDescriptor();
    if (m_socket->bytesToWrite() == 0 && fd >= 0) {
        while (sent < text.size()) {
            const ssize_t n = ::send(static_cast<int>(fd), text.constData() + sent,
                                     static_cast<size_t>(text.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else {
                drop();
                return false;
            }
        }
    }
    if (sent < text.size()) {
        const QByteArray rest = text.mid(sent);
        if (m_socket->write(rest) != rest.size()) {
            drop();
            return false;
        }
        m_socket->flush();
    }
    // A viewer that does not read would let the unsent texts pile up.
    if (m_socket->bytesToWrite() > MaxUnsentBytes) {
        drop();
        return false;
    }
    return true;
}

bool MyClientConnectThread::statusLine(const QByteArray &text)
{
    // The lost-port watch counts a sensor error with every line and so needs
    // the semaphore for the whole hand-over. While it is not due the line
    // goes over by value without it, and the other connections' texts do not
    // wait for the GUI thread's turn. Whether it is due is settled on the GUI
    // thread as the line goes in, since the port may be lost while the line
    // waits for its turn there: a line that finds the watch due then comes
    // back and goes over again under the semaphore. The look from here only
    // spares such lines the first hand-over while the port stays lost.
    ActivityList &list = m_core.activity();
    bool handed = true;
    bool appended = false;
    if (!list.portWatchDue())
        handed = m_core.handover.runOnGui([&list, text, &appended] { appended = list.appendPlainLine(text); });
    if (handed && !appended) {
        SharedDataLock lock(m_core.semaphore);
        m_core.state.StatusText = text;
        handed = m_core.handover.runOnGui([&list] { list.appendStatusLine(); });
    }
    if (!handed) {
        drop();
        return false;
    }
    return true;
}

QByteArray MyClientConnectThread::measurementText(int index)
{
    // The values are copied under the semaphore and the text is made after
    // it is given back: a hundred connections take it for every text.
    VP::MeasurementInputs in;
    {
        SharedDataLock lock(m_core.semaphore);
        StationState &s = m_core.state;
        StationConfig &cfg = m_core.config;
        const WindowMirror &m = m_core.mirror;
        switch (index) {
        case 1:
            in.MeasureTime = s.MeasureTime.get();
            break;
        case 2:
            in.RawTemp = s.RawTemp;
            break;
        case 3:
            in.RawHumidity = s.RawHumidity;
            break;
        case 4:
            in.CpuTemp = s.CpuTemp;
            break;
        case 5:
            in.CpuTjMax = s.CpuTjMax.load();
            break;
        case 14:
            in.RIStat = m.RIStat.load();
            break;
        case 15:
            in.CheckRI = m.CheckRI.load();
            break;
        case 16:
            in.CheckDC = m.CheckDC.load();
            break;
        case 17:
            in.DCStat = m.DCStat.load();
            break;
        case 18:
            // Sending the identifier pads the stored one.
            cfg.StationId = VP::padStationId(cfg.StationId);
            in.StationId = cfg.StationId;
            in.ManualStationId = cfg.ManualStationId;
            in.DeviceStationId = s.DeviceStationId.get();
            break;
        case 21:
            in.LastErrorCaption = m.LastErrorCaption.get();
            break;
        default:
            in.TempMin = cfg.TempMin;
            in.TempMax = cfg.TempMax;
            in.TPMin = cfg.TPMin;
            in.TPMax = cfg.TPMax;
            in.TTPMin = cfg.TTPMin;
            in.TTPMax = cfg.TTPMax;
            in.RHMin = cfg.RHMin;
            in.RHMax = cfg.RHMax;
            in.ServerHost = cfg.ServerHost;
            in.ServerPort = cfg.ServerPort;
            in.ComPort = cfg.ComPort;
            in.AlarmInterval = cfg.AlarmInterval;
            in.CpuMaxTempDistance = cfg.CpuMaxTempDistance;
            break;
        }
    }
    return VP::measurementText(index, in);
}

QByteArray MyClientConnectThread::ReceiveAnswer()
{
    const QByteArray answer = readText(m_waits.answerMs);
    if (m_end)
        return {};
    if (answer.isEmpty()) {
        // Nothing came: a viewer that is still there just did not answer in
        // time; one that went away ends the connection.
        if (!up())
            drop();
        return {};
    }
    if (answer == VP::viewerBreakText())
        drop();
    return answer;
}

QByteArray MyClientConnectThread::SendMeasurement(const QByteArray &time)
{
    Q_UNUSED(time); // text 1 is read with the other values, under the semaphore
    for (int index = 0; index < VP::MeasurementTextCount; ++index) {
        if (!up()) {
            drop();
            return VP::stationBreakText();
        }
        if (!send(measurementText(index)))
            return {};
        if (index == 0 && !up()) {
            drop();
            return {};
        }
        const QByteArray answer = ReceiveAnswer();
        if (answer != VP::okText())
            return answer;
        if (index == VP::LastIndexWhileDialogOpen && m_core.mirror.ConfigDialogOpen.load())
            return {};
    }
    return {};
}

bool MyClientConnectThread::ReceiveConfiguration(const QByteArray &text)
{
    if (text != VP::configText())
        return false;
    if (up() && !send(VP::okText()))
        return false;

    // All 17 texts first. One that does not come within the answer wait
    // abandons the message: nothing of it is stored, and the connection,
    // whose turns are lost, ends. The semaphore is not held meanwhile, so a
    // slow viewer never holds up the measurement.
    QByteArrayList texts;
    for (int item = 1; item <= VP::RemoteConfigTextCount; ++item) {
        const QByteArray value = ReceiveAnswer();
        if (value.isEmpty() || m_end) {
            drop();
            return false;
        }
        texts.append(value);
        if (up() && !send(VP::okText()))
            return false;
    }
    const std::optional<VP::ReceivedConfig> received = VP::readRemoteConfig(texts);
    if (!received) {
        drop();
        return false;
    }
    const VP::ReceivedConfig &rc = *received;

    SharedDataLock lock(m_core.semaphore);
    StationState &s = m_core.state;
    StationConfig &cfg = m_core.config;
    const auto onGui = [this](std::function<void(RemoteConfigTarget &)> fn) {
        ViewerService &svc = m_service;
        if (!m_core.handover.runOnGui([&svc, &fn] {
                if (RemoteConfigTarget *t = svc.remoteTarget())
                    fn(*t);
            })) {
            drop();
            return false;
        }
        return true;
    };

    // The identifier, the server, the interval and the CPU distance are
    // settings the connection stores itself; the dialog checks and saves
    // all 17. A text that cannot stand in the configuration files (or, for
    // the identifier, in a file name) is not stored here and goes to the
    // dialog as received, whose check refuses it like any other value that
    // fails its check: no file is written.
    const QByteArray receivedId = Text8::trimmed(texts[12]);
    QByteArray idValue = receivedId;
    if (ConfigValueChecks::isPlainStationId(receivedId)) {
        cfg.ManualStationId = rc.StationId.ManualStationId;
        if (rc.StationId.takesId()) {
            cfg.StationId = rc.StationId.Id;
            s.DeviceStationId = rc.StationId.Id;
        }
        idValue = rc.StationId.Id;
    }
    const QByteArray receivedServer = Text8::trimmed(texts[13]);
    QByteArray serverValue = receivedServer;
    const bool serverTaken = ConfigValueChecks::fitsOneLine(receivedServer);
    if (serverTaken) {
        if (rc.Server.Port)
            cfg.ServerPort = *rc.Server.Port;
        cfg.ServerHost = rc.Server.Host;
        serverValue = cfg.ServerHost + ':' + cfg.ServerPort;
    }
    if (ConfigValueChecks::fitsOneLine(rc.AlarmInterval))
        cfg.AlarmInterval = rc.AlarmInterval;
    if (ConfigValueChecks::fitsOneLine(rc.CpuMaxTempDistance))
        cfg.CpuMaxTempDistance = rc.CpuMaxTempDistance;

    // A flag goes as "-1" or "0"; one that did not read as its text, which
    // leaves the dialog's box as it was.
    const auto flag = [&texts](const std::optional<bool> &b, int index) {
        return b ? VP::booleanText(*b) : Text8::trimmed(texts[index]);
    };
    const QByteArray values[VP::RemoteConfigTextCount] = {rc.TempMin,
                                                          rc.TempMax,
                                                          rc.TPMin,
                                                          rc.TPMax,
                                                          rc.TTPMin,
                                                          rc.TTPMax,
                                                          rc.RHMin,
                                                          rc.RHMax,
                                                          flag(rc.CheckRX, 8),
                                                          flag(rc.CheckRI, 9),
                                                          flag(rc.CheckDC, 10),
                                                          flag(rc.CheckCTS, 11),
                                                          idValue,
                                                          serverValue,
                                                          rc.ComPort,
                                                          rc.AlarmInterval,
                                                          rc.CpuMaxTempDistance};
    for (int item = 1; item <= VP::RemoteConfigTextCount; ++item) {
        const QByteArray value = values[item - 1];
        // The main window's server display takes the host with the server's
        // setter.
        if (item == 14 && serverTaken) {
            const QByteArray host = cfg.ServerHost;
            if (!onGui([host](RemoteConfigTarget &t) { t.showServerHost(host); }))
                return false;
        }
        if (!onGui([item, value](RemoteConfigTarget &t) { t.remoteSet(item, value); }))
            return false;
    }
    // SyncStopSensor, the save, SyncToggleSensor.
    if (!onGui([this](RemoteConfigTarget &t) {
            if (m_core.mirror.StartButtonStop.load())
                t.clickStartButton();
        }))
        return false;
    if (!onGui([](RemoteConfigTarget &t) { t.remoteApply(); }))
        return false;
    if (!onGui([](RemoteConfigTarget &t) { t.clickStartButton(); }))
        return false;
    return true;
}

void MyClientConnectThread::run()
{
    StationState &s = m_core.state;
    m_connectionNumber = s.ConnectionCounter.fetch_add(1) + 1;
    QByteArray lastSentTime;
    bool configPending = false;

    // Woken by every new measurement time, by the shut-down and by
    // requestStop(), so that the idle wait needs no short polling.
    WakeSignal &wake = m_wake;
    s.MeasureTime.waiters().add(&wake);
    s.TerminateRequested.waiters().add(&wake);
    struct Unregister
    {
        StationState &state;
        WakeSignal &signal;
        ~Unregister()
        {
            state.MeasureTime.waiters().remove(&signal);
            state.TerminateRequested.waiters().remove(&signal);
        }
    } unregister{s, wake};

    m_socket = std::make_unique<QTcpSocket>();
    if (!m_socket->setSocketDescriptor(m_descriptor))
        m_end = true;

    if (!m_end) {
        bool mapped = false;
        const quint32 v4 = m_socket->peerAddress().toIPv4Address(&mapped);
        const QByteArray address =
            mapped ? QHostAddress(v4).toString().toLatin1() : m_socket->peerAddress().toString().toLatin1();
        statusLine(Text8::cp(ViewerServiceTexts::ConnectedPrefix) + address +
                   Text8::cp(ViewerServiceTexts::ConnectedSuffix));
    }
    if (!m_end)
        m_core.sleep(m_waits.startMs);

    const QByteArray number = QByteArray::number(m_connectionNumber);
    while (!m_end && up()) {
        QByteArray text = readText(0);
        if (m_end)
            break;
        if (!text.isEmpty() && !statusLine(text))
            break;
        if (ReceiveConfiguration(text)) {
            configPending = false;
            text.clear();
        }
        if (m_end)
            break;
        // Checked also with a stray text in hand, so that a viewer that keeps
        // sending cannot hold up the shut-down.
        if (stopRequested()) {
            if (up())
                send(VP::stationBreakText());
            break;
        }
        if (!text.isEmpty())
            continue;
        const QByteArray measureTime = s.MeasureTime.get();
        if (!configPending && measureTime != lastSentTime) {
            lastSentTime = measureTime;
            if (!up())
                break;
            const QByteArray result = SendMeasurement(measureTime);
            if (result == VP::stationBreakText())
                break;
            if (m_end && result.isEmpty())
                break;
            if (!result.isEmpty() && result != VP::okText()) {
                if (!statusLine(lastSentTime + Text8::cp(ViewerServiceTexts::ConfigFromClient) + number +
                                Text8::cp(ViewerServiceTexts::ConfigAnswerOpen) + result +
                                Text8::cp(ViewerServiceTexts::ConfigAnswerClose)))
                    break;
                configPending = true;
                if (up() && !send(VP::repeatText()))
                    break;
            } else if (!statusLine(lastSentTime + Text8::cp(ViewerServiceTexts::MeasurementToClient) +
                                   number + Text8::cp(ViewerServiceTexts::MeasurementSent))) {
                break;
            }
            continue;
        }
        // Idle: a text of the viewer, a new measurement time or the
        // shut-down ends the wait at once; the bound is only a fallback.
        if (up() && m_socket->bytesAvailable() == 0) {
            const qintptr fd = m_socket->socketDescriptor();
            if (wake.valid() && fd >= 0) {
                if (wake.waitWithSocket(static_cast<int>(fd), m_waits.idleMs))
                    m_socket->waitForReadyRead(0); // take in what arrived
            } else {
                // Nothing wakes this wait: it paces the shut-down check.
                m_socket->waitForReadyRead(std::min(m_waits.idleMs, 100));
            }
        }
    }

    if (m_socket) {
        m_socket->close();
        m_socket->abort();
        m_socket.reset();
    }
    s.ActiveThreadCount.fetch_sub(1);
}
