#include "viewer/ConnectionTest.h"

#include "common/LoginTestTexts.h"
#include "common/Text8.h"
#include "viewer/Form1Texts.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <memory>

namespace ConnectionTest {

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

Result failure(const QTcpSocket &socket)
{
    return {socket.errorString(), true};
}

// A socket connected to the target through the proxy, or the failure.
std::unique_ptr<QTcpSocket> connectThrough(const Proxy &proxy, const Target &target, Result &fail)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->setProxy(QNetworkProxy(proxy.http ? QNetworkProxy::HttpProxy : QNetworkProxy::Socks5Proxy,
                                   proxy.host, proxy.port, proxy.user, proxy.password));
    socket->connectToHost(target.host, target.port, QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
    if (!socket->waitForConnected(ConnectTimeoutMs)) {
        fail = failure(*socket);
        socket->abort();
        return nullptr;
    }
    return socket;
}

bool send(QTcpSocket &socket, const QByteArray &bytes)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(ReadTimeoutMs))
            return false;
    return true;
}

// Exactly `count` bytes within the read time-out; fewer mean failure.
std::optional<QByteArray> readExactly(QTcpSocket &socket, qint64 count)
{
    QDeadlineTimer deadline(ReadTimeoutMs);
    while (socket.bytesAvailable() < count) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    if (socket.bytesAvailable() < count)
        return std::nullopt;
    return socket.read(count);
}

void disconnect(QTcpSocket &socket)
{
    socket.disconnectFromHost();
    socket.abort();
}

} // namespace

Result heronLogin(const Proxy &proxy, const Target &target, const QByteArray &loginFrame)
{
    Result fail;
    std::unique_ptr<QTcpSocket> socket = connectThrough(proxy, target, fail);
    if (!socket)
        return fail;
    if (!send(*socket, loginFrame))
        return failure(*socket);
    const std::optional<QByteArray> answer = readExactly(*socket, 5);
    if (!answer) {
        disconnect(*socket);
        return {u(LoginTestTexts::NoAnswer), false};
    }
    const QString rendered = Text8::toQString(LoginTestTexts::renderAnswer(*answer));
    const QString br = u(LoginTestTexts::LineBreak);
    Result result;
    if (answer->at(4) == 'A')
        result.message = u(LoginTestTexts::AcceptedHead) + br + u(LoginTestTexts::AcceptedLine) + br +
                         u(LoginTestTexts::AcceptedAnswer) + rendered;
    else
        result.message = u(LoginTestTexts::RefusedHead) + br + u(LoginTestTexts::RefusedLine) + br + rendered;
    disconnect(*socket);
    return result;
}

Result httpGet(const Proxy &proxy, const Target &target, const QByteArray &path)
{
    Result fail;
    std::unique_ptr<QTcpSocket> socket = connectThrough(proxy, target, fail);
    if (!socket)
        return fail;
    if (!send(*socket, QByteArray(Form1Texts::HttpRequestHead) + path + "\r\n"))
        return failure(*socket);
    const std::optional<QByteArray> answer = readExactly(*socket, HttpAnswerSize);
    if (!answer) {
        const bool connected = socket->state() == QAbstractSocket::ConnectedState;
        disconnect(*socket);
        return {u(connected ? Form1Texts::HttpNoAnswer : Form1Texts::HttpNoConnection), false};
    }
    disconnect(*socket);
    return {u(Form1Texts::HttpAnswer) + u(LoginTestTexts::LineBreak) + u(Form1Texts::HttpPlainText) +
                QStringLiteral("\r\n") + Text8::toQString(*answer) + u(LoginTestTexts::LineBreak),
            false};
}

} // namespace ConnectionTest
