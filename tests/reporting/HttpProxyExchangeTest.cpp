#include "HeronStandin.h"

#include "common/LoginFrame.h"
#include "reporting/HttpProxyTexts.h"
#include "reporting/MD5HexDigest.h"
#include "reporting/MyHERONThread.h"
#include "reporting/TCPUtils.h"
#include "reporting/TIdConnectThroughHttpProxy.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScriptedHttpProxy.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

#include <sys/stat.h>

namespace {

using Step = ScriptedHttpProxy::Step;

const QByteArray kTarget = "heron.example:2000";
const QByteArray kAuthRequired = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                 "Proxy-Authenticate: Basic realm=\"station-basic\"\r\n\r\n";
const QByteArray kOk = "HTTP/1.1 200 OK\r\n\r\n";

QByteArray md5(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

QByteArray basic(const QByteArray &credentials)
{
    return credentials.toBase64();
}

// The first request of every exchange to heron.example:2000.
QByteArray request1(const QByteArray &authorisation = {})
{
    QByteArray r = "GET heron.example:2000/ HTTP/1.1\r\n Host: heron.example:2000\r\n";
    if (!authorisation.isEmpty())
        r += " Proxy-Authorization: Basic " + authorisation + "\r\n";
    return r + "\r\n";
}

QByteArray basicRequest2(const QByteArray &authorisation = {})
{
    QByteArray r = "GET HTTP://heron.example:2000/ HTTP/1.1\r\n Host: heron.example:2000\r\n";
    if (!authorisation.isEmpty())
        r += " Proxy-Authorization: Basic " + authorisation + "\r\n";
    return r + "\r\n";
}

struct HttpProxyExchange : ::testing::Test
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("proxylog.txt"));
    ManualClock clock;
    int beeps = 0;
    TIdConnectThroughHttpProxy connector{[this] { ++beeps; }, clock, logPath};
    ScriptedHttpProxy proxy;
    QTcpSocket socket;
    QString error;

    // Runs one exchange through a proxy playing `script`; true when the
    // connection counts as established.
    bool exchange(const QList<Step> &script, const QByteArray &user, const QByteArray &password = "pw",
                  int timeoutMs = 10000)
    {
        proxy.setScript(script);
        if (!proxy.start())
            return false;
        socket.connectToHost(QHostAddress::LocalHost, proxy.port());
        if (!socket.waitForConnected(5000))
            return false;
        const ProxyEndpoint endpoint{"127.0.0.1", proxy.port(), user, password, true};
        return connector.MakeConnection(socket, endpoint, "heron.example", 2000, timeoutMs, error);
    }

    QByteArray log() const
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(HttpProxyExchange, FirstRequestCarriesBasicAuthorisationUnlessTheNameIsEmptyOrBeginsWithFive)
{
    const struct
    {
        const char *name;
        QByteArray user;
        QByteArray authorisation; // of request 1
    } cases[] = {
        {"plain name", "alice", basic("alice:pw")},
        {"no name", "", {}},
        {"name beginning with 5", "5bob", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TIdConnectThroughHttpProxy one{{}, clock, logPath};
        ScriptedHttpProxy p;
        p.setScript({{kOk}});
        ASSERT_TRUE(p.start());
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, p.port());
        ASSERT_TRUE(s.waitForConnected(5000));
        QString e;
        EXPECT_TRUE(one.MakeConnection(s, {"127.0.0.1", p.port(), c.user, "pw", true}, "heron.example", 2000,
                                       10000, e));
        EXPECT_EQ(p.requests(), QList<QByteArray>{request1(c.authorisation)});
    }
}

TEST_F(HttpProxyExchange, OkToTheFirstRequestEstablishesAtOnceWithoutLogEntry)
{
    ASSERT_TRUE(exchange({{"HTTP/1.0 200 OK\r\nVia: scripted\r\n\r\n"}}, "alice")) << error.toStdString();
    EXPECT_EQ(proxy.requests().size(), 1);
    EXPECT_FALSE(QFile::exists(logPath));
    // The way stands: the next bytes on the socket are the station's.
    EXPECT_EQ(socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(socket.bytesAvailable(), 0);
}

TEST_F(HttpProxyExchange, ForbiddenFailsWithTheWholeFirstReply)
{
    EXPECT_FALSE(exchange({{"HTTP/1.1 403 Forbidden\r\nServer: scripted\r\n\r\n"}}, "alice"));
    EXPECT_EQ(error, QStringLiteral("HTTP/1.1 403 ForbiddenServer: scripted"));
    EXPECT_EQ(proxy.requests().size(), 1);
    EXPECT_FALSE(QFile::exists(logPath));
}

TEST_F(HttpProxyExchange, NameBeginningWithFiveIsShortenedForTheBasicSecondRequest)
{
    ASSERT_TRUE(exchange({{kAuthRequired}, {kOk}}, "5bob")) << error.toStdString();
    EXPECT_EQ(proxy.requests(), (QList<QByteArray>{request1(), basicRequest2(basic("bob:pw"))}));
    EXPECT_EQ(connector.Username, "bob");
    // The beep at the start and one on each side of the authorisation line.
    EXPECT_EQ(beeps, 3);
}

TEST_F(HttpProxyExchange, NameBeginningWithTwoFivesLosesTheSecondInTheRestartAfter407)
{
    ASSERT_TRUE(exchange({{kAuthRequired}, {kAuthRequired}, {kAuthRequired}, {kOk}}, "55bob"))
        << error.toStdString();
    EXPECT_EQ(proxy.requests(), (QList<QByteArray>{request1(), basicRequest2(basic("5bob:pw")), request1(),
                                                   basicRequest2(basic("bob:pw"))}));
    EXPECT_EQ(connector.Username, "bob");
    EXPECT_EQ(log().count(QByteArray(84, '-') + "\r\n"), 2);
}

TEST_F(HttpProxyExchange, RestartsAfter407AreBoundedAndTheBoundFailsWithTheSecondReply)
{
    const QByteArray refused = "HTTP/1.1 407 still no\r\n\r\n";
    QList<Step> script;
    for (int i = 0; i < 2 * (TIdConnectThroughHttpProxy::MaxRestarts + 2); ++i)
        script.append({i % 2 ? refused : kAuthRequired});
    EXPECT_FALSE(exchange(script, "alice"));
    EXPECT_EQ(error, QStringLiteral("HTTP/1.1 407 still no"));
    EXPECT_EQ(proxy.requests().size(), 2 * (TIdConnectThroughHttpProxy::MaxRestarts + 1));
}

TEST_F(HttpProxyExchange, SecondReplyOtherThan407EstablishesEvenWithoutOk)
{
    EXPECT_TRUE(exchange({{kAuthRequired}, {"HTTP/1.1 502 Bad Gateway\r\n\r\n"}}, "alice"));
    EXPECT_EQ(proxy.requests().size(), 2);
}

TEST_F(HttpProxyExchange, DigestChallengeWithAndWithoutQop)
{
    const QByteArray password = "s3cr\xE9t";
    const QByteArray ha1 = md5("bob:Station-Digest:" + password);
    const QByteArray ha2 = md5("GET:/");
    const struct
    {
        const char *name;
        QByteArray challenge;
        QByteArray request2;
    } cases[] = {
        {"with qop",
         "Proxy-Authenticate: Digest realm=\"Station-Digest\", nonce=\"AbC+12/3\", opaque=\"0PaQ\", "
         "qop=\"auth,auth-int\", algorithm=\"MD5\"",
         "GET heron.example:2000 HTTP/1.1 Host: heron.example:2000 Proxy-Authorization: Digest username=\"bob\", "
         "realm=\"Station-Digest\", nonce=\"AbC+12/3\", opaque=\"0PaQ\", uri=\"/\", algorithm=MD5, qop=auth, "
         "nc=00000001, cnonce=\"a3c5e7f9b1d20486\", response=\"" +
             md5(ha1 + ":AbC+12/3:00000001:a3c5e7f9b1d20486:auth:" + ha2) + "\"\r\n"},
        {"without qop",
         "PROXY-AUTHENTICATE: DIGEST REALM=\"Station-Digest\", NONCE=\"AbC+12/3\", ALGORITHM=\"md5\"",
         "GET heron.example:2000 HTTP/1.1 Host: heron.example:2000 Proxy-Authorization: Digest username=\"bob\", "
         "realm=\"Station-Digest\", nonce=\"AbC+12/3\", opaque=\"\", uri=\"/\", algorithm=MD5, response=\"" +
             md5(ha1 + ":AbC+12/3:" + ha2) + "\"\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TIdConnectThroughHttpProxy one{{}, clock, logPath};
        ScriptedHttpProxy p;
        p.setScript({{"HTTP/1.1 407 Proxy Authentication Required\r\n" + c.challenge + "\r\n\r\n"}, {kOk}});
        ASSERT_TRUE(p.start());
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, p.port());
        ASSERT_TRUE(s.waitForConnected(5000));
        QString e;
        EXPECT_TRUE(one.MakeConnection(s, {"127.0.0.1", p.port(), "bob", password, true}, "heron.example", 2000,
                                       10000, e))
            << e.toStdString();
        EXPECT_EQ(p.requests(), (QList<QByteArray>{request1(basic("bob:" + password)), c.request2}));
    }
}

TEST_F(HttpProxyExchange, Md5WithoutQuotesTakesTheBasicBranch)
{
    ASSERT_TRUE(exchange({{"HTTP/1.1 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=MD5\r\n\r\n"},
                          {kOk}},
                         "alice"));
    EXPECT_EQ(proxy.requests().value(1), basicRequest2(basic("alice:pw")));
    EXPECT_FALSE(log().contains("\r\nalgorithm=md5\r\n"));
}

TEST_F(HttpProxyExchange, LastQuotedValueWithoutClosingQuoteRunsToTheEndOfTheReply)
{
    const QByteArray reply = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                             "Proxy-Authenticate: Digest algorithm=\"MD5\", nonce=\"n1\", realm=\"open end\r\n"
                             "\r\n";
    const auto c = TIdConnectThroughHttpProxy::parseChallenge("HTTP/1.1 407 Proxy Authentication Required"
                                                              "Proxy-Authenticate: Digest algorithm=\"MD5\", "
                                                              "nonce=\"n1\", realm=\"open end");
    EXPECT_EQ(c.realm, "open end");
    EXPECT_EQ(c.nonce, "n1");
    EXPECT_EQ(c.qop, "");
    ASSERT_TRUE(exchange({{reply}, {kOk}}, "bob"));
    EXPECT_TRUE(proxy.requests().value(1).contains("realm=\"open end\", nonce=\"n1\", opaque=\"\", uri=\"/\""))
        << proxy.requests().value(1).constData();
}

TEST_F(HttpProxyExchange, LogEntryLineByLineWithoutThePassword)
{
    const QByteArray challenge = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                 "Proxy-Authenticate: Digest realm=\"Station-Digest\", nonce=\"N0nce\", "
                                 "opaque=\"Op\", qop=\"auth\", algorithm=\"MD5\"\r\n\r\n";
    ASSERT_TRUE(exchange({{challenge}, {"HTTP/1.1 200 OK\r\nVia: scripted\r\n\r\n"}}, "bob", "geheim"));
    const QByteArray ha1 = md5("bob:Station-Digest:geheim");
    const QByteArray ha2 = md5("GET:/");
    const QByteArray response = md5(ha1 + ":N0nce:00000001:a3c5e7f9b1d20486:auth:" + ha2);
    const QByteArrayList expected = {
        QByteArray(84, '-'),
        "-->REQUEST:",
        "GET heron.example:2000/ HTTP/1.1",
        " Host: heron.example:2000",
        " Proxy-Authorization: Basic *****",
        "",
        "<--RESPONSE:",
        "HTTP/1.1 407 Proxy Authentication RequiredProxy-Authenticate: Digest realm=\"Station-Digest\", "
        "nonce=\"N0nce\", opaque=\"Op\", qop=\"auth\", algorithm=\"MD5\"",
        "algorithm=md5",
        "realm=Station-Digest",
        "nonce=N0nce",
        "opaque=Op",
        "qop=auth",
        "A1=bob:Station-Digest:*****",
        "A2=GET:/",
        "H(A1)=" + ha1,
        "H(A2)=" + ha2,
        "Resp=" + response,
        "===>REQUEST2:",
        "GET heron.example:2000 HTTP/1.1 Host: heron.example:2000 Proxy-Authorization: Digest username=\"bob\", "
        "realm=\"Station-Digest\", nonce=\"N0nce\", opaque=\"Op\", uri=\"/\", algorithm=MD5, qop=auth, "
        "nc=00000001, cnonce=\"a3c5e7f9b1d20486\", response=\"" +
            response + "\"",
        "<===RESPONSE:",
        "HTTP/1.1 200 OKVia: scripted",
        "",
    };
    const QByteArray text = log();
    EXPECT_EQ(text.split('\n').size(), expected.size());
    EXPECT_EQ(text, expected.join("\r\n"));
    EXPECT_FALSE(text.contains("geheim"));
    EXPECT_FALSE(text.contains(basic("bob:geheim")));
    // The log is the owner's alone.
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(logPath).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A second exchange appends its entry below the first.
    TIdConnectThroughHttpProxy again{{}, clock, logPath};
    ScriptedHttpProxy p;
    p.setScript({{kAuthRequired}, {kOk}});
    ASSERT_TRUE(p.start());
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, p.port());
    ASSERT_TRUE(s.waitForConnected(5000));
    ASSERT_TRUE(again.MakeConnection(s, {"127.0.0.1", p.port(), "bob", "geheim", true}, "heron.example", 2000,
                                     10000, error));
    EXPECT_TRUE(log().startsWith(text));
    EXPECT_EQ(log().mid(text.size()),
              QByteArray(84, '-') + "\r\n-->REQUEST:\r\n" + request1("*****") +
                  "<--RESPONSE:\r\nHTTP/1.1 407 Proxy Authentication RequiredProxy-Authenticate: Basic "
                  "realm=\"station-basic\"\r\n===>REQUEST2:\r\n" +
                  basicRequest2("*****") + "<===RESPONSE:\r\nHTTP/1.1 200 OK\r\n");
}

TEST_F(HttpProxyExchange, LogThatCannotBeWrittenDoesNotStopTheExchange)
{
    TIdConnectThroughHttpProxy unlogged{{}, clock, dir.filePath(QStringLiteral("missing/proxylog.txt"))};
    proxy.setScript({{kAuthRequired}, {kOk}});
    ASSERT_TRUE(proxy.start());
    socket.connectToHost(QHostAddress::LocalHost, proxy.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    EXPECT_TRUE(unlogged.MakeConnection(socket, {"127.0.0.1", proxy.port(), "bob", "pw", true}, "heron.example",
                                        2000, 10000, error));
}

TEST_F(HttpProxyExchange, SilentProxyFailsWhenTheConnectBoundRunsOut)
{
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(exchange({}, "alice", "pw", 50));
    EXPECT_EQ(error, QStringLiteral("Socket operation timed out"));
    EXPECT_LT(t.elapsed(), 5000);
}

TEST_F(HttpProxyExchange, ProxyThatClosesAfterItsChallengeFailsTheConnect)
{
    EXPECT_FALSE(exchange({{kAuthRequired, true}}, "alice"));
    EXPECT_FALSE(error.isEmpty());
}

TEST(MD5Hex, Rfc1321TestSuite)
{
    const struct
    {
        QByteArray text;
        const char *digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MD5Hex(c.text), c.digest) << c.text.constData();
        EXPECT_EQ(MD5HexDigest(c.text, 16), c.digest);
    }
    EXPECT_EQ(MD5HexDigest("abc", 8), "");
}

// The report transport's HTTP branch with this connector: the scripted proxy
// relays to the stand-in after its "200 OK", and the login goes through.
TEST(HttpProxyTransport, ReportConnectionReachesTheServerThroughTheProxy)
{
    ScopedWorkDir work;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    HeronStandin server;
    QTemporaryDir serverDir;
    server.setUploadDir(serverDir.path());
    ASSERT_TRUE(server.start());
    ScriptedHttpProxy proxy;
    proxy.setScript({{kAuthRequired}, {kOk, false, true}});
    proxy.setRelayTarget(server.port());
    ASSERT_TRUE(proxy.start());

    core.config.ServerHost = "127.0.0.1";
    core.config.ServerPort = QByteArray::number(server.port());
    core.config.Proxy = ProxySettings{true, "127.0.0.1", proxy.port(), "carol", "pw", "HTTP"};
    MyHERONThread thread(core, std::make_shared<TIdConnectThroughHttpProxy>(std::function<void()>{}, clock));
    thread.PrepareConnection();
    QByteArray message;
    ASSERT_TRUE(thread.ConnectServer(message)) << message.constData();
    qint32 sequence = 0;
    EXPECT_TRUE(TCPUtils::SendFrame(thread.Cl2Socket(), 0, sequence, LoginFrame::literal(), FrameType::LoginFrame));
    thread.DisconnectServer();
    const QByteArray target = "127.0.0.1:" + QByteArray::number(server.port());
    ASSERT_EQ(proxy.requests().size(), 2);
    EXPECT_TRUE(proxy.requests()[1].startsWith("GET HTTP://" + target + "/ HTTP/1.1\r\n"));
    EXPECT_TRUE(work.read(QStringLiteral("proxylog.txt")).contains("===>REQUEST2:"));
}
