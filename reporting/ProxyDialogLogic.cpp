#include "reporting/ProxyDialogLogic.h"

#include "common/LoginFrame.h"
#include "common/ProxyConfigFile.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "reporting/FrameSocket.h"
#include "reporting/ProxyDialogTexts.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TIdConnectThroughHttpProxy.h"
#include "station/StationConfig.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <stdexcept>

using namespace ProxyDialogTexts;

namespace {

QByteArray cp(const char *utf8)
{
    return Text8::cp(utf8);
}

struct TestFailure : std::runtime_error
{
    explicit TestFailure(const QByteArray &message)
        : std::runtime_error(message.toStdString())
        , text(message)
    {}
    QByteArray text;
};

} // namespace

ProxyDialogLogic::ProxyDialogLogic(StationConfig &config, QString path)
    : PasswordMask(5, char(0xB0))
    , m_config(config)
    , m_path(path.isEmpty() ? QString::fromLatin1(ProxyConfigFile::FileName) : std::move(path))
{
}

ProxyDialogFields ProxyDialogLogic::activate()
{
    PasswordMask = QByteArray(5, char(0xB0));
    ProxySettings &live = m_config.Proxy;
    bool passwordRead = false;
    ProxyConfigFile::readInto(live, m_path, &passwordRead);
    bool passwordShown = false;
    if (passwordRead) {
        ProxyPasswordEntry = live.ProxyPassword;
        passwordShown = !live.ProxyPassword.isEmpty();
    }

    ProxyDialogFields f;
    f.ProxyHost = live.ProxyHost;
    f.ProxyPort = QByteArray::number(live.ProxyPort);
    f.User = live.ProxyUser;
    f.PasswordBox = passwordShown ? PasswordMask : QByteArray();
    f.Http = live.ProxyKind != KindSocks;
    f.UseProxy = live.UseProxy;
    return f;
}

ProxyDialogLogic::Check ProxyDialogLogic::check(const ProxyDialogFields &f) const
{
    if (f.ProxyHost.isEmpty() && f.UseProxy)
        return Check::NoHost;
    if (!ConfigFormat::toInteger(f.ProxyPort)) // takes no line break either
        return Check::BadPort;
    if (!ConfigFormat::fitsOneLine(f.ProxyHost))
        return Check::HostNotOneLine;
    if (!ConfigFormat::fitsOneLine(f.User))
        return Check::UserNotOneLine;
    if (!ConfigFormat::fitsOneLine(ProxyPasswordEntry))
        return Check::PasswordNotOneLine;
    return Check::Ok;
}

QByteArray ProxyDialogLogic::message(Check c)
{
    switch (c) {
    case Check::NoHost:
        return cp(NoHost);
    case Check::BadPort:
        return cp(BadPort);
    case Check::HostNotOneLine:
    case Check::UserNotOneLine:
    case Check::PasswordNotOneLine:
        return cp(ProxyValueNotOneLine);
    case Check::Ok:
        break;
    }
    return {};
}

bool ProxyDialogLogic::save(const ProxyDialogFields &f, QByteArray *failure)
{
    const std::optional<qint32> port = ConfigFormat::toInteger(f.ProxyPort);
    if (!port)
        return false;
    ProxyConfigFile::Values v;
    v.ProxyHost = f.ProxyHost;
    v.ProxyPort = f.ProxyPort;
    v.ProxyUser = f.User;
    v.ProxyPassword = ProxyPasswordEntry;
    // The station reads this pair back as nothing; a server host that would
    // not stay on its line (only a hand-edited r2arodire.cfg holds one) goes
    // in empty rather than keep the operator's proxy settings from the file.
    v.DestinationServer = ConfigFormat::fitsOneLine(m_config.ServerHost) ? m_config.ServerHost : QByteArray();
    v.UseProxy = f.UseProxy;
    v.Http = f.Http;
    QString reason;
    if (!ProxyConfigFile::write(v, m_path, &reason)) {
        if (failure)
            *failure = Text8::fromQString(ProxyConfigFile::writeFailureMessage(m_path, reason));
        return false;
    }
    ProxySettings &live = m_config.Proxy;
    live.ProxyKind = f.Http ? KindHttp : KindSocks;
    live.ProxyHost = f.ProxyHost;
    live.ProxyPort = *port;
    live.ProxyUser = f.User;
    live.ProxyPassword = ProxyPasswordEntry;
    live.UseProxy = f.UseProxy;
    return true;
}

void ProxyDialogLogic::passwordChanged(const QByteArray &box)
{
    if (box != PasswordMask)
        ProxyPasswordEntry = box;
}

std::optional<QByteArray> ProxyDialogLogic::maskTimer(const QByteArray &box)
{
    std::optional<QByteArray> shown;
    if (!box.isEmpty() && box != PasswordMask) {
        ProxyPasswordEntry = box;
        shown = PasswordMask;
    }
    if ((shown ? *shown : box).isEmpty())
        ProxyPasswordEntry.clear();
    return shown;
}

std::optional<QByteArray> ProxyDialogLogic::passwordExit(const QByteArray &box)
{
    if (box != PasswordMask)
        ProxyPasswordEntry = box;
    const QByteArray shown = ProxyPasswordEntry.isEmpty() ? QByteArray() : PasswordMask;
    if (shown == box)
        return std::nullopt;
    return shown;
}

QByteArray ProxyDialogLogic::renderAnswer(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (b > 31)
            out += c;
        else
            out += '#' + QByteArray::number(b) + ' ';
    }
    return out;
}

QByteArray ProxyDialogLogic::connectionTest(const ProxyDialogFields &f)
{
    const auto sound = [this] {
        if (beep)
            beep();
    };
    const QByteArray login = LoginFrame::frame();

    QTcpSocket TestIOHandler;
    TestIOHandler.setProxy(QNetworkProxy::NoProxy);
    try {
        const std::optional<qint32> port = ConfigFormat::toInteger(f.ProxyPort);
        if (!port)
            return cp(BadPort);
        const quint16 proxyPort = static_cast<quint16>(*port & 0xFFFF);
        const std::optional<qint32> serverPort = ConfigFormat::toInteger(m_config.ServerPort);
        if (!serverPort)
            throw TestFailure("'" + m_config.ServerPort + "'" + ReportingTexts::NotAPortNumber);
        const QByteArray serverHost = m_config.ServerHost;
        const quint16 targetPort = static_cast<quint16>(*serverPort & 0xFFFF);

        const QDeadlineTimer deadline(ConnectTimeoutMs);
        if (!f.Http) {
            TestIOHandler.setProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, Text8::toQString(f.ProxyHost),
                                                 proxyPort, Text8::toQString(f.User),
                                                 Text8::toQString(ProxyPasswordEntry)));
            TestIOHandler.connectToHost(Text8::toQString(serverHost), targetPort, QIODevice::ReadWrite,
                                        QAbstractSocket::IPv4Protocol);
            if (!TestIOHandler.waitForConnected(int(deadline.remainingTime())))
                throw TestFailure(Text8::fromQString(TestIOHandler.errorString()));
        } else {
            TestIOHandler.connectToHost(Text8::toQString(f.ProxyHost), proxyPort, QIODevice::ReadWrite,
                                        QAbstractSocket::IPv4Protocol);
            if (!TestIOHandler.waitForConnected(int(deadline.remainingTime())))
                throw TestFailure(Text8::fromQString(TestIOHandler.errorString()));
            TIdConnectThroughHttpProxy IdConnectThroughHttpProxy(beep, clock ? *clock : Clock::system());
            const ProxyEndpoint endpoint{f.ProxyHost, proxyPort, f.User, ProxyPasswordEntry, true};
            QString error;
            if (!IdConnectThroughHttpProxy.MakeConnection(TestIOHandler, endpoint, serverHost, targetPort,
                                                          int(deadline.remainingTime()), error))
                throw TestFailure(Text8::fromQString(error));
        }
    } catch (const TestFailure &e) {
        sound();
        return cp(ConnectFailed) + Break + e.text;
    }

    TcpFrameSocket client(&TestIOHandler);
    if (!client.write(login)) {
        sound();
        return cp(SendFailed) + Break + Text8::fromQString(TestIOHandler.errorString());
    }

    // The answer: five bytes within the time-out.
    QByteArray result;
    client.setReadTimeout(AnswerTimeoutMs);
    QByteArray answer;
    if (!client.read(5, answer)) {
        result = cp(NoAnswer);
    } else if (answer.isEmpty()) {
        result = cp(NoByte);
    } else {
        const QByteArray rendered = renderAnswer(answer);
        if (answer.at(4) == 'A') {
            result = cp(AllOk) + Break + cp(LoginOk) + Break + cp(Answer) + rendered;
        } else {
            QByteArray text = rendered;
            QByteArray more;
            while (text.size() < rendered.size() + MaxRefusalBytes && client.read(1, more))
                text += more;
            result = cp(Refused) + Break + cp(Received) + Break + text;
        }
    }
    TestIOHandler.disconnectFromHost();
    if (TestIOHandler.state() != QAbstractSocket::UnconnectedState)
        TestIOHandler.waitForDisconnected(1000);
    TestIOHandler.abort();
    return result;
}
