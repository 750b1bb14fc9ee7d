#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The two connection tests of the viewer's test form, without widgets: a
// login at the HERON server and a plain HTTP request, each through a SOCKS 5
// or an HTTP (CONNECT) proxy that Qt's QNetworkProxy drives. Both block the
// calling thread for the connect and at most ReadTimeoutMs for the answer.
namespace ConnectionTest {

inline constexpr int ReadTimeoutMs = 1000;
// The connect (proxy handshake included) gives up after this.
inline constexpr int ConnectTimeoutMs = 30000;
// Bytes the HTTP test reads.
inline constexpr int HttpAnswerSize = 1000;

struct Proxy
{
    bool http = false; // HTTP CONNECT; else SOCKS 5
    QString host;
    quint16 port = 0;
    QString user;
    QString password;
};

struct Target
{
    QString host;
    quint16 port = 0;
};

struct Result
{
    QString message; // what the form shows
    bool beep = false; // a socket failure: the form beeps first
};

// Sends the given frame (the login), reads 5 bytes and tells what came back.
Result heronLogin(const Proxy &proxy, const Target &target, const QByteArray &loginFrame);

// Sends "GET /" + path + CR LF, reads 1000 bytes and shows them.
Result httpGet(const Proxy &proxy, const Target &target, const QByteArray &path);

} // namespace ConnectionTest
