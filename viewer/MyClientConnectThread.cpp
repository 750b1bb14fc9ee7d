#include "viewer/MyClientConnectThread.h"

#include "common/GuiHandover.h"
#include "common/LocaleFormat.h"
#include "common/SensorConversion.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "common/ValueFormat.h"
#include "common/ViewerTexts.h"
#include "viewer/FernblickTexts.h"
#include "viewer/RemoteStationState.h"
#include "viewer/ViewerView.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace viewer {

namespace {

// The most one read takes as one text; the rest is the next text.
constexpr qint64 MaxTextBytes = 64 * 1024;

QByteArray cp(const char *utf8)
{
    return Text8::cp(utf8);
}

QString text(const QByteArray &bytes)
{
    return Text8::toQString(bytes);
}

QByteArray bytes(const QString &text)
{
    return Text8::fromQString(text);
}

// The settings field of a limit index (6 to 13).
QString &limitField(RemoteStationConfig &c, int index)
{
    switch (index) {
    case 6:
        return c.TempMin;
    case 7:
        return c.TempMax;
    case 8:
        return c.TPMin;
    case 9:
        return c.TPMax;
    case 10:
        return c.TTPMin;
    case 11:
        return c.TTPMax;
    case 12:
        return c.RHMin;
    default:
        return c.RHMax;
    }
}

ViewerView::Limit limitLabel(int index)
{
    switch (index) {
    case 6:
    case 7:
        return ViewerView::Limit::Temp;
    case 8:
    case 9:
        return ViewerView::Limit::TP;
    case 10:
    case 11:
        return ViewerView::Limit::T_TP;
    default:
        return ViewerView::Limit::RH;
    }
}

ViewerView::Contact contactOf(int index)
{
    switch (index) {
    case 14:
        return ViewerView::Contact::RIStat;
    case 15:
        return ViewerView::Contact::CheckRI;
    case 16:
        return ViewerView::Contact::CheckDC;
    default:
        return ViewerView::Contact::DCStat;
    }
}

QColor inputColour(bool watched, bool active)
{
    if (!watched)
        return Colours::BtnFace;
    return active ? Colours::Red : Colours::Lime;
}

QByteArray lastErrorCaption(QByteArray s)
{
    if (s.contains(FernblickTexts::ErrTime)) {
        const qsizetype at = s.indexOf(FernblickTexts::ErrTimeWord);
        s.replace(at, qsizetype(sizeof(FernblickTexts::ErrTimeWord) - 1), FernblickTexts::ErrTimeReplacement);
    }
    if (s.contains(FernblickTexts::LastErr)) {
        const qsizetype at = s.indexOf(FernblickTexts::LastErr);
        s.replace(at, qsizetype(sizeof(FernblickTexts::LastErr) - 1), FernblickTexts::LastErrReplacement);
    }
    return s;
}

} // namespace

MyClientConnectThread::MyClientConnectThread(ConnectionContext context, quint64 number, QString host,
                                             quint16 port, QObject *parent)
    : QThread(parent)
    , m_ctx(context)
    , m_number(number)
    , m_host(std::move(host))
    , m_port(port)
{
    setObjectName(QStringLiteral("viewer-connection"));
}

MyClientConnectThread::~MyClientConnectThread()
{
    requestClose();
    wait();
}

template <typename F> bool MyClientConnectThread::gui(F &&task)
{
    if (m_ctx.handover.runOnGui([&] { task(m_ctx.view); }))
        return true;
    m_terminated = true;
    m_closeRequested = true;
    return false;
}

void MyClientConnectThread::run()
{
    QTcpSocket socket;
    socket.setReadBufferSize(MaxTextBytes);
    socket.connectToHost(m_host, m_port);
    Execute(socket);
    socket.abort();
}

bool MyClientConnectThread::isCurrent() const
{
    return m_ctx.currentConnection.load() == m_number;
}

bool MyClientConnectThread::connected(const QTcpSocket &socket) const
{
    return !m_closeRequested && socket.state() == QAbstractSocket::ConnectedState;
}

void MyClientConnectThread::terminate(QTcpSocket &socket)
{
    if (isCurrent())
        m_ctx.connectionLost = true;
    socket.abort();
    m_terminated = true;
}

void MyClientConnectThread::status(const QByteArray &line)
{
    gui([&](ViewerView &v) { v.appendStatus(line); });
}

void MyClientConnectThread::SocketError(QTcpSocket &socket)
{
    const QString message = QString::fromUtf8(FernblickTexts::SocketErrorMessage)
                                .arg(int(socket.error()))
                                .arg(socket.errorString());
    terminate(socket);
    // The error goes on to the socket layer, which reports it in a message
    // window of its own (Timer1 closes it).
    gui([&](ViewerView &v) { v.showSocketError(message); });
}

void MyClientConnectThread::Execute(QTcpSocket &socket)
{
    while (!m_terminated && !m_disconnectRequested) {
        status(cp(FernblickTexts::ConnectedPrefix) + bytes(m_host) + cp(FernblickTexts::ConnectedSuffix));
        if (waitForConnection(socket)) {
            m_ctx.clock.sleep(500);
        } else if (!m_closeRequested && !m_terminated) {
            SocketError(socket);
        }

        int idle = 0;
        while (connected(socket) && !m_terminated) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(m_ctx.timings.pollMs)) {
                if (socket.state() != QAbstractSocket::ConnectedState) {
                    if (socket.error() != QAbstractSocket::RemoteHostClosedError && !m_closeRequested)
                        SocketError(socket);
                    break;
                }
                if (++idle > m_ctx.timings.idlePolls) {
                    if (m_ctx.state.ConfigSendRequested && isCurrent()) {
                        m_ctx.clock.sleep(500);
                        if (SendConfiguration(socket))
                            m_ctx.state.ConfigSendRequested = false;
                    }
                    idle = 0;
                }
                continue;
            }
            idle = 0;
            const QByteArray received = readText(socket);
            if (received.isEmpty())
                continue;
            if (!handleText(socket, received))
                break;
        }

        if (!m_disconnectRequested)
            status(cp(FernblickTexts::ConnectionEnded));
        if (isCurrent())
            m_ctx.connectionLost = true;
        socket.disconnectFromHost();
        socket.abort();
        m_ctx.clock.sleep(10);
        m_terminated = true;
    }
}

bool MyClientConnectThread::waitForConnection(QTcpSocket &socket)
{
    // In short steps, so that the window's end or Timer1 need not wait for a
    // connect that hangs.
    QElapsedTimer t;
    t.start();
    while (socket.state() == QAbstractSocket::HostLookupState || socket.state() == QAbstractSocket::ConnectingState) {
        if (m_closeRequested)
            return false;
        if (t.elapsed() > m_ctx.timings.connectMs) {
            socket.abort();
            return false;
        }
        QEventLoop loop;
        QObject::connect(&socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::max(m_ctx.timings.pollMs, 10), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return socket.state() == QAbstractSocket::ConnectedState;
}

QByteArray MyClientConnectThread::readText(QTcpSocket &socket)
{
    return socket.read(MaxTextBytes);
}

bool MyClientConnectThread::send(QTcpSocket &socket, const QByteArray &out)
{
    if (socket.write(out) != out.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(m_ctx.timings.connectMs))
            return false;
    }
    return true;
}

bool MyClientConnectThread::handleText(QTcpSocket &socket, const QByteArray &received)
{
    if (!m_disconnectRequested)
        status(received);
    if (m_terminated)
        return false;

    const ViewerProtocol::MeasurementReader::Step step = m_reader.take(received);
    if (step.stationBreak) {
        m_disconnectRequested = true;
        return false;
    }
    if (step.index >= 0)
        showIndex(step.index, received);
    if (m_terminated)
        return false;

    const bool breaking = m_disconnectRequested;
    const std::optional<QByteArray> answer = ViewerProtocol::MeasurementReader::answer(step, breaking);
    if (!answer)
        return false;
    if (!send(socket, *answer)) {
        terminate(socket);
        return false;
    }
    if (*answer == ViewerTexts::ViewerBreak)
        return false;
    if (step.index == ViewerProtocol::LastMeasurementIndex && m_ctx.state.ConfigSendRequested && isCurrent()) {
        m_ctx.clock.sleep(500);
        if (SendConfiguration(socket))
            m_ctx.state.ConfigSendRequested = false;
    }
    return !m_terminated;
}

void MyClientConnectThread::showIndex(int index, const QByteArray &received)
{
    RemoteStationState &st = m_ctx.state;
    const ViewerProtocol::ReceivedMeasurement &v = m_reader.values();
    const bool followed = st.ConfigState.load() == 0;
    const bool showing = !m_disconnectRequested;

    switch (index) {
    case 1: {
        const QByteArray caption = cp(FernblickTexts::LastMeasurement) + received;
        gui([&](ViewerView &view) { view.setLastMeasurement(caption); });
        break;
    }
    case 3:
        showValues();
        break;
    case 4:
        if (followed)
            showCpu();
        break;
    case 5:
        if (followed) {
            qint32 tjMax = 0;
            {
                QMutexLocker lock(&st.ConfigSection);
                st.StationTjMax = v.CpuTjMax;
                tjMax = st.StationTjMax;
            }
            const QByteArray caption =
                cp(FernblickTexts::JunctionPrefix) + QByteArray::number(tjMax) + cp(FernblickTexts::JunctionSuffix);
            gui([&](ViewerView &view) { view.setJunction(caption); });
        }
        break;
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13: {
        if (followed) {
            QMutexLocker lock(&st.ConfigSection);
            limitField(st.config, index) = text(Text8::trimmed(received));
        }
        const bool humidity = index >= 12;
        const bool filled = !Text8::trimmed(received).isEmpty();
        if (index % 2 == 0) {
            m_pendingMinLabel = filled ? cp(FernblickTexts::MinPrefix) + received +
                                             cp(humidity ? FernblickTexts::MinPercent : FernblickTexts::MinDegree)
                                       : cp(FernblickTexts::NoLimit);
        } else if (showing) {
            QByteArray caption = m_pendingMinLabel;
            if (filled)
                caption += cp(FernblickTexts::MaxPrefix) + received +
                           cp(humidity ? FernblickTexts::MaxPercent : FernblickTexts::MaxDegree);
            const ViewerView::Limit label = limitLabel(index);
            gui([&](ViewerView &view) { view.setLimitLabel(label, caption); });
        }
        break;
    }
    case 14:
    case 15:
    case 16:
    case 17: {
        const std::optional<bool> states[] = {v.RIStat, v.CheckRI, v.CheckDC, v.DCStat};
        const std::optional<bool> state = states[index - 14];
        const ViewerView::Contact box = contactOf(index);
        if (followed && showing && state)
            gui([&](ViewerView &view) { view.setContact(box, *state); });
        if (index == 17) {
            gui([&](ViewerView &view) {
                using C = ViewerView::Contact;
                view.setInputColour(1, inputColour(view.contact(C::CheckRI), view.contact(C::RIStat)));
                view.setInputColour(2, inputColour(view.contact(C::CheckDC), view.contact(C::DCStat)));
            });
        }
        break;
    }
    case 18: {
        QByteArray id;
        {
            QMutexLocker lock(&st.ConfigSection);
            if (followed) {
                st.StationIdLocked = !v.StationId.ManualStationId;
                st.config.StationId = text(v.StationId.Id);
            }
            id = bytes(st.config.StationId);
        }
        const QByteArray caption = cp(FernblickTexts::KennungPrefix) + id;
        const bool manual = v.StationId.ManualStationId;
        gui([&](ViewerView &view) {
            if (followed)
                view.setModifyKennung(manual);
            view.setKennung(caption);
        });
        break;
    }
    case 19:
    case 20:
    case 22:
    case 23:
        if (followed) {
            QMutexLocker lock(&st.ConfigSection);
            switch (index) {
            case 19:
                st.config.Server = text(v.Server);
                break;
            case 20:
                st.config.ComPort = text(v.ComPort);
                break;
            case 22:
                st.config.AlarmInterval = text(v.AlarmInterval);
                break;
            default:
                st.config.CpuMaxTempDistance = text(v.CpuMaxTempDistance);
                break;
            }
        }
        break;
    case 21: {
        const QByteArray s = v.LastError;
        const bool red = s.contains(LocaleFormat::shortDate(m_ctx.clock.localDateTime().date()));
        const QByteArray caption = lastErrorCaption(s);
        gui([&](ViewerView &view) { view.setLastError(caption, red); });
        break;
    }
    default:
        break;
    }
}

void MyClientConnectThread::showValues()
{
    const ViewerProtocol::ReceivedMeasurement &v = m_reader.values();
    const SensorConversion c = convertSensorReadings<double>(v.RawTemp, v.RawHumidity, true);
    if (m_disconnectRequested)
        return;

    const double values[] = {c.T, c.TP, c.T - c.TP, c.RH};
    const ViewerView::Value boxes[] = {ViewerView::Value::T, ViewerView::Value::TP, ViewerView::Value::T_TP,
                                       ViewerView::Value::RH};
    ColourState colours[4] = {ColourState::Green, ColourState::Green, ColourState::Green, ColourState::Green};
    {
        RemoteStationState &st = m_ctx.state;
        QMutexLocker lock(&st.ConfigSection);
        for (int q = 0; q < 4; ++q) {
            // Limits in message order: T, Td, T - Td, RH; index 6 + 2q and 7 + 2q.
            const QByteArray minText = Text8::trimmed(bytes(limitField(st.config, 6 + 2 * q)));
            const QByteArray maxText = Text8::trimmed(bytes(limitField(st.config, 7 + 2 * q)));
            double &min = m_limitValues[std::size_t(2 * q)];
            double &max = m_limitValues[std::size_t(2 * q + 1)];
            if (!minText.isEmpty()) {
                if (const auto converted = ConfigFormat::toThreshold(minText))
                    min = *converted;
                if (values[q] < min)
                    colours[q] = ColourState::Pink;
            }
            if (!maxText.isEmpty()) {
                if (const auto converted = ConfigFormat::toThreshold(maxText))
                    max = *converted;
                if (values[q] > max)
                    colours[q] = ColourState::Red;
            }
        }
    }

    const bool shown = v.RawTemp != 0 || v.RawHumidity != 0;
    const char sep = ValueFormat::localeDecimalSeparator();
    QByteArray texts[4];
    for (int q = 0; q < 4; ++q)
        texts[q] = ValueFormat::formatFixed2(values[q], sep);
    gui([&](ViewerView &view) {
        if (!shown) {
            view.clearValues();
            return;
        }
        for (int q = 0; q < 4; ++q)
            view.showValue(boxes[q], texts[q], colours[q]);
    });
}

void MyClientConnectThread::showCpu()
{
    const ViewerProtocol::ReceivedMeasurement &v = m_reader.values();
    qint32 tjMax = 0;
    QByteArray distanceText;
    {
        RemoteStationState &st = m_ctx.state;
        QMutexLocker lock(&st.ConfigSection);
        tjMax = st.StationTjMax;
        distanceText = bytes(st.config.CpuMaxTempDistance);
    }
    qint32 c = v.CpuTemp.value_or(0);
    bool red = false;
    if (tjMax > 0 && !distanceText.isEmpty()) {
        const std::optional<qint32> d = ConfigFormat::toInteger(distanceText);
        if (!d)
            c = 0;
        const qint32 distance = d.value_or(0);
        red = c > 0 && distance > 0 && qint64(tjMax) - c < distance;
    }
    const QByteArray shown = v.CpuText;
    const bool notANumber = !v.CpuTemp.has_value();
    gui([&](ViewerView &view) { view.showCpu(shown, red, notANumber); });
}

QByteArray MyClientConnectThread::WaitForText(QTcpSocket &socket, int &polls)
{
    if (!connected(socket))
        return {};
    for (; polls > 0; --polls) {
        if (socket.bytesAvailable() > 0)
            return readText(socket);
        if (!socket.waitForReadyRead(m_ctx.timings.pollMs) && socket.state() != QAbstractSocket::ConnectedState) {
            // Closed by the station: no error; the caller finds the socket
            // no longer connected.
            if (!m_closeRequested && socket.error() != QAbstractSocket::RemoteHostClosedError)
                SocketError(socket);
            return {};
        }
        if (m_closeRequested)
            return {};
    }
    return {};
}

QByteArray MyClientConnectThread::WaitForText(QTcpSocket &socket)
{
    int polls = m_ctx.timings.answerPolls;
    return WaitForText(socket, polls);
}

ViewerProtocol::ConfigReply MyClientConnectThread::waitForConfigReply(QTcpSocket &socket)
{
    // A text that the station sent before the "<CONFIG>" reached it (a
    // message start that crossed it, or the next text of a message that a
    // late "OK" let go on) is not answered: the station takes the "<CONFIG>"
    // as its answer, or has given up waiting for one. The station's own
    // answer to the "<CONFIG>" is still to come; a "<CONFIG>" sent again
    // before it would be one too many, and the station would take it as the
    // first of the 17 texts.
    int polls = m_ctx.timings.answerPolls;
    while (true) {
        const QByteArray received = WaitForText(socket, polls);
        ViewerProtocol::ConfigReply reply = ViewerProtocol::readConfigReply(received);
        if (received.isEmpty() || reply.kind != ViewerProtocol::ConfigReply::Kind::None || m_terminated)
            return reply;
    }
}

bool MyClientConnectThread::SendConfiguration(QTcpSocket &socket)
{
    RemoteStationState &st = m_ctx.state;
    // While the dialog is open again (or has not finished its closing) the
    // request waits: "<CONFIG>" goes out only when the 17 texts can follow.
    if (st.ConfigState.load() != 2)
        return false;

    status(cp(FernblickTexts::SendingConfig));
    const auto failed = [&] {
        status(cp(FernblickTexts::ConfigFailed));
        terminate(socket);
    };
    using Reply = ViewerProtocol::ConfigReply::Kind;
    Reply reply = Reply::None;
    while (reply != Reply::Ok) {
        if (!connected(socket) || m_terminated)
            return true;
        if (!send(socket, ViewerProtocol::configText())) {
            failed();
            break;
        }
        reply = waitForConfigReply(socket).kind;
        if (m_terminated) {
            failed();
            break;
        }
        if (reply == Reply::StationBreak) {
            // The station shuts down: nothing is sent, nothing reset; the
            // values go out on a later connection.
            m_disconnectRequested = true;
            socket.disconnectFromHost();
            return true;
        }
    }

    if (!m_terminated) {
        // The station now waits for all 17 texts: they go out whatever the
        // dialog does meanwhile, with the copy as it stands now.
        ContactChecks checks;
        bool manualId = false;
        if (!gui([&](ViewerView &view) {
                checks = view.contactChecks();
                manualId = view.modifyKennung();
            }))
            return true;
        ViewerProtocol::RemoteConfigInputs in;
        {
            QMutexLocker lock(&st.ConfigSection);
            const RemoteStationConfig &c = st.config;
            in.TempMin = bytes(c.TempMin);
            in.TempMax = bytes(c.TempMax);
            in.TPMin = bytes(c.TPMin);
            in.TPMax = bytes(c.TPMax);
            in.TTPMin = bytes(c.TTPMin);
            in.TTPMax = bytes(c.TTPMax);
            in.RHMin = bytes(c.RHMin);
            in.RHMax = bytes(c.RHMax);
            in.StationId = bytes(c.StationId);
            in.Server = bytes(c.Server);
            in.ComPort = bytes(c.ComPort);
            in.AlarmInterval = bytes(c.AlarmInterval);
            in.CpuMaxTempDistance = bytes(c.CpuMaxTempDistance);
        }
        in.CheckRX = checks.rx;
        in.CheckRI = checks.ri;
        in.CheckDC = checks.dc;
        in.CheckCTS = checks.cts;
        in.ManualStationId = manualId;
        const QByteArrayList texts = ViewerProtocol::remoteConfigTexts(in);
        for (int i = 0; i < texts.size(); ++i) {
            if (!connected(socket))
                return true;
            if (i == 12)
                status(cp(FernblickTexts::SendingId) + texts.at(i));
            if (!send(socket, texts.at(i))) {
                failed();
                break;
            }
            // The station answers every text "OK"; anything else (no answer
            // in time, a closed connection) means that it has not taken the
            // configuration.
            if (WaitForText(socket) != ViewerTexts::Ok || m_terminated) {
                failed();
                break;
            }
        }
        if (!m_terminated) {
            int sent = 2;
            st.ConfigState.compare_exchange_strong(sent, 0);
            status(cp(FernblickTexts::ConfigSent));
        }
    }

    {
        QMutexLocker lock(&st.ConfigSection);
        st.StationIdLocked = true;
    }
    gui([&](ViewerView &view) { view.setModifyKennung(false); });
    return true;
}

} // namespace viewer
