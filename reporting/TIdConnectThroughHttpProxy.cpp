#include "reporting/TIdConnectThroughHttpProxy.h"

#include "common/Text8.h"
#include "platform/FileAppend.h"
#include "reporting/HttpProxyTexts.h"
#include "reporting/MD5HexDigest.h"

#include <QTcpSocket>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

using namespace HttpProxyTexts;

namespace {

constexpr char CrLf[] = "\r\n";

// Waits of the reply read: before the first line and before each line.
constexpr int FirstLinePauseMs = 100;
constexpr int LinePauseMs = 10;
// Read failures in a row that end a reply.
constexpr int MaxReadFailures = 10;

QByteArray hostPort(const QByteArray &host, quint16 port)
{
    return host + ':' + QByteArray::number(port);
}

QByteArray basicCredentials(const QByteArray &user, const QByteArray &password)
{
    return (user + ':' + password).toBase64();
}

// A request as the log shows it: the Base64 of user name and password,
// which is the password in all but name, replaced by the mask.
QByteArray withoutCredentials(const QByteArray &request)
{
    const qsizetype at = request.indexOf(BasicHeader);
    if (at < 0)
        return request;
    const qsizetype from = at + qsizetype(sizeof(BasicHeader) - 1);
    const qsizetype end = request.indexOf(CrLf, from);
    return request.left(from) + LogPasswordMask + (end < 0 ? QByteArray() : request.mid(end));
}

// The socket library's text for a wait that ran out of time.
QByteArray timedOut()
{
    return QByteArrayLiteral("Socket operation timed out");
}

void failOnDeadline(const QDeadlineTimer &deadline)
{
    if (deadline.hasExpired())
        throw EIdHttpProxyError(timedOut());
}

// One line from the socket without its LF and a CR before it. false when no
// whole line can come (the connection is closed); the bytes of an unfinished
// line stay in the input. Throws when the deadline passes.
bool readLine(QTcpSocket &socket, const QDeadlineTimer &deadline, QByteArray &line)
{
    for (;;) {
        const qint64 available = socket.bytesAvailable();
        if (available > 0) {
            const QByteArray head =
                socket.peek(std::min<qint64>(available, TIdConnectThroughHttpProxy::MaxLineBytes + 1));
            const qsizetype lf = head.indexOf('\n');
            if (lf >= 0) {
                line = socket.read(lf + 1);
                line.chop(1);
                if (line.endsWith('\r'))
                    line.chop(1);
                return true;
            }
            if (head.size() > TIdConnectThroughHttpProxy::MaxLineBytes) {
                line = socket.read(TIdConnectThroughHttpProxy::MaxLineBytes);
                return true;
            }
        }
        if (socket.state() != QAbstractSocket::ConnectedState)
            return false;
        failOnDeadline(deadline);
        if (!socket.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), INT_MAX)))) {
            failOnDeadline(deadline);
            if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
                return false;
        }
    }
}

// The value after the first `key="` of lower, taken from reply (same
// positions) up to the next double quote or the end.
QByteArray quotedValue(const QByteArray &reply, const QByteArray &lower, const char *key)
{
    const QByteArray marker = QByteArray(key) + "=\"";
    const qsizetype at = lower.indexOf(marker);
    if (at < 0)
        return {};
    const qsizetype from = at + marker.size();
    const qsizetype to = reply.indexOf('"', from);
    return reply.mid(from, to < 0 ? -1 : to - from);
}

} // namespace

TIdConnectThroughHttpProxy::TIdConnectThroughHttpProxy(std::function<void()> beep, Clock &clock,
                                                       QString logPath)
    : m_beep(std::move(beep))
    , m_clock(clock)
    , m_logPath(logPath.isEmpty() ? QString::fromLatin1(LogFileName) : std::move(logPath))
{
}

bool TIdConnectThroughHttpProxy::MakeConnection(QTcpSocket &socket, const ProxyEndpoint &proxy,
                                                const QByteArray &targetHost, quint16 targetPort,
                                                int timeoutMs, QString &error)
{
    Host = proxy.host;
    Port = proxy.port;
    Username = proxy.user;
    Password = proxy.password;
    m_enabled = proxy.Enabled;
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                  : QDeadlineTimer(timeoutMs);
    try {
        ConnectThroughHttpProxy(socket, targetHost, targetPort, false, deadline);
        return true;
    } catch (const EIdHttpProxyError &e) {
        error = Text8::toQString(e.message());
        return false;
    }
}

TIdConnectThroughHttpProxy::Challenge TIdConnectThroughHttpProxy::parseChallenge(const QByteArray &reply)
{
    const QByteArray lower = reply.toLower();
    Challenge c;
    c.qop = quotedValue(reply, lower, "qop");
    c.nonce = quotedValue(reply, lower, "nonce");
    c.opaque = quotedValue(reply, lower, "opaque");
    c.realm = quotedValue(reply, lower, "realm");
    return c;
}

void TIdConnectThroughHttpProxy::ConnectThroughHttpProxy(QTcpSocket &socket, const QByteArray &targetHost,
                                                         quint16 targetPort, bool /*login*/,
                                                         QDeadlineTimer deadline)
{
    const QByteArray target = hostPort(targetHost, targetPort);
    for (int restarts = 0;; ++restarts) {
        beep();

        QByteArray request1 = QByteArray(Method) + ' ' + target + '/' + HttpVersion + CrLf;
        const bool fiveRemoved = !Username.isEmpty() && Username.front() == '5';
        if (fiveRemoved)
            Username.remove(0, 1);
        request1 += HostHeader + target + CrLf;
        if (!Username.isEmpty() && !fiveRemoved)
            request1 += BasicHeader + basicCredentials(Username, Password) + CrLf;
        send(socket, request1, deadline);
        const QByteArray reply1 = readReply(socket, deadline);

        const QByteArray lower = reply1.toLower();
        QByteArray request2;
        QByteArray digestLines;
        if (!lower.contains(ChallengeDigest) || !lower.contains(ChallengeMd5)) {
            request2 = QByteArray(Method) + ' ' + SchemeAbsolute + target + '/' + HttpVersion + CrLf;
            request2 += HostHeader + target + CrLf;
            if (!Username.isEmpty()) {
                beep();
                request2 += BasicHeader + basicCredentials(Username, Password) + CrLf;
                beep();
            }
        } else {
            const Challenge c = parseChallenge(reply1);
            // A2 follows the uri that the request carries; the response is
            // RFC 2617's with qop, RFC 2069's without.
            const QByteArray a1 = Username + ':' + c.realm + ':' + Password;
            const QByteArray a2 = QByteArray(Method) + ':' + Uri;
            const QByteArray ha1 = MD5Hex(a1);
            const QByteArray ha2 = MD5Hex(a2);
            const bool withQop = c.qop.contains(QopAuth);
            const QByteArray response =
                withQop ? MD5Hex(ha1 + ':' + c.nonce + ':' + NonceCount + ':' + ClientNonce + ':' + QopAuth + ':' +
                                 ha2)
                        : MD5Hex(ha1 + ':' + c.nonce + ':' + ha2);

            request2 = QByteArray(Method) + ' ' + target + HttpVersion;
            request2 += HostHeader + target;
            request2 += DigestHeader;
            request2 += "username=\"" + Username + "\", ";
            request2 += "realm=\"" + c.realm + "\", ";
            request2 += "nonce=\"" + c.nonce + "\", ";
            request2 += "opaque=\"" + c.opaque + "\", ";
            request2 += QByteArray("uri=\"") + Uri + "\", ";
            request2 += "algorithm=MD5, ";
            if (withQop) {
                request2 += QByteArray("qop=") + QopAuth + ", ";
                request2 += QByteArray("nc=") + NonceCount + ", ";
                request2 += QByteArray("cnonce=\"") + ClientNonce + "\", ";
            }
            request2 += "response=\"" + response + '"';

            // The log shows A1 without the password.
            const QByteArray a1Logged = Username + ':' + c.realm + ':' + LogPasswordMask;
            const QByteArray lines[] = {
                LogAlgorithm + QByteArray(DigestMarker),
                LogRealm + c.realm,
                LogNonce + c.nonce,
                LogOpaque + c.opaque,
                LogQop + c.qop,
                LogA1 + a1Logged,
                LogA2 + a2,
                LogHA1 + ha1,
                LogHA2 + ha2,
                LogResp + response,
            };
            for (const QByteArray &line : lines)
                digestLines += line + CrLf;
        }

        const QByteArray upper1 = reply1.toUpper();
        if (upper1.contains(ReplyOk))
            return;
        if (upper1.contains(ReplyForbidden))
            throw EIdHttpProxyError(reply1);

        send(socket, request2, deadline);
        const QByteArray reply2 = readReply(socket, deadline);

        appendLog(QByteArray(LogRuleWidth, '-') + CrLf + LogRequest + CrLf + withoutCredentials(request1) + CrLf + LogResponse + CrLf +
                  reply1 + CrLf + digestLines + LogRequest2 + CrLf + withoutCredentials(request2) + CrLf + LogResponse2 + CrLf +
                  reply2 + CrLf);

        const QByteArray upper2 = reply2.toUpper();
        if (upper2.contains(ReplyOk) || !upper2.contains(ReplyAuthRequired)) {
            // A proxy that hung up has established nothing.
            if (socket.state() != QAbstractSocket::ConnectedState)
                throw EIdHttpProxyError(Text8::fromQString(socket.errorString()));
            return;
        }
        if (restarts == MaxRestarts)
            throw EIdHttpProxyError(reply2);
    }
}

void TIdConnectThroughHttpProxy::send(QTcpSocket &socket, const QByteArray &text, const QDeadlineTimer &deadline)
{
    const QByteArray line = text + CrLf;
    if (socket.state() != QAbstractSocket::ConnectedState || socket.write(line) != line.size())
        throw EIdHttpProxyError(Text8::fromQString(socket.errorString()));
    while (socket.bytesToWrite() > 0) {
        failOnDeadline(deadline);
        if (!socket.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), INT_MAX)))) {
            failOnDeadline(deadline);
            throw EIdHttpProxyError(Text8::fromQString(socket.errorString()));
        }
    }
}

QByteArray TIdConnectThroughHttpProxy::readReply(QTcpSocket &socket, const QDeadlineTimer &deadline)
{
    QByteArray reply;
    QByteArray line = " ";
    m_clock.sleep(FirstLinePauseMs);
    int failures = 0;
    while (!line.isEmpty() && failures < MaxReadFailures && reply.size() < MaxReplyBytes) {
        m_clock.sleep(LinePauseMs);
        QByteArray read;
        if (!readLine(socket, deadline, read)) {
            ++failures;
            continue;
        }
        line = read;
        reply += line;
        failures = line.isEmpty() ? failures + 1 : 0;
    }
    return reply;
}

void TIdConnectThroughHttpProxy::appendLog(const QByteArray &entry)
{
    // Readable by the owner only: the log shows the proxy's user name, its
    // challenge and the digest of the credentials. A log that cannot be written does not stop the exchange.
    const int error = FileAppend::appendWhole(m_logPath, entry, FileAppend::Sync::None, 0600);
    if (error != 0)
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_logPath), std::strerror(error));
}

void TIdConnectThroughHttpProxy::beep()
{
    if (m_beep)
        m_beep();
}
