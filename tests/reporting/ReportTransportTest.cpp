#include "HeronStandin.h"

#include "common/LoginFrame.h"
#include "reporting/FrameSocket.h"
#include "reporting/MyHERONThread.h"
#include "reporting/ReportingTexts.h"
#include "reporting/ServerTransport.h"
#include "reporting/TCPUtils.h"
#include "support/DanteProxy.h"
#include "support/ManualClock.h"
#include "support/RecordingHttpProxyConnector.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include "common/Text8.h"
#include "station/StationCore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace ReportingTexts;

namespace {

QByteArray cp(const char *text)
{
    return Text8::cp(text);
}

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// The transport of the reporting thread, on the test's thread.
class ReportTransport : public ::testing::Test
{
protected:
    ScopedWorkDir work;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    std::shared_ptr<RecordingHttpProxyConnector> connector = std::make_shared<RecordingHttpProxyConnector>();
    std::unique_ptr<MyHERONThread> thread = std::make_unique<MyHERONThread>(core, connector);
    // The thread's transport part, tested through its own interface.
    ServerTransport &transport = thread->transport();
    HeronStandin server;
    QTemporaryDir serverDir;

    void SetUp() override
    {
        core.config.StationId = "ABC1234";
        core.config.ServerHost = "127.0.0.1";
        server.setUploadDir(serverDir.path());
        server.setServeDir(serverDir.path());
        ASSERT_TRUE(server.start());
        core.config.ServerPort = QByteArray::number(server.port());
    }
    void TearDown() override
    {
        transport.DisconnectServer();
        server.stop();
    }

    void useProxy(const char *kind, qint32 port, const QByteArray &user = "socksuser",
                  const QByteArray &password = "s3cret")
    {
        ProxySettings &p = core.config.Proxy;
        p.UseProxy = true;
        p.ProxyHost = "127.0.0.1";
        p.ProxyPort = port;
        p.ProxyUser = user;
        p.ProxyPassword = password;
        p.ProxyKind = kind;
    }

    bool login()
    {
        qint32 sequence = 0;
        return TCPUtils::SendFrame(transport.Cl2Socket(), 0, sequence, LoginFrame::literal(),
                                   FrameType::LoginFrame);
    }
};

} // namespace

TEST_F(ReportTransport, ProxyKindChoosesTheProxyObject)
{
    enum Branch { Direct, Socks, Http };
    const struct
    {
        bool useProxy;
        const char *kind;
        Branch branch;
    } cases[] = {
        {false, "SOCKS", Direct}, {true, "SOCKS", Socks}, {true, "socks", Http},
        {true, "HTTP", Http},     {true, "", Http},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.useProxy ? " with proxy" : " without proxy"));
        view.lines.clear();
        useProxy(c.kind, 70000);
        core.config.Proxy.UseProxy = c.useProxy;
        transport.PrepareConnection();
        EXPECT_EQ(transport.IdSocks.Enabled, c.branch == Socks);
        EXPECT_EQ(transport.IdConnectThroughHttpProxy.Enabled, c.branch == Http);
        const QNetworkProxy proxy = transport.ReportIOHandler()->proxy();
        EXPECT_EQ(proxy.type(), c.branch == Socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::NoProxy);
        if (c.branch == Socks) {
            EXPECT_EQ(proxy.port(), 4464); // 70000 mod 65536
            EXPECT_EQ(proxy.user(), QStringLiteral("socksuser"));
            EXPECT_EQ(proxy.password(), QStringLiteral("s3cret"));
        }
        EXPECT_EQ(transport.IdSocks.port, 4464);
        EXPECT_EQ(transport.IdConnectThroughHttpProxy.port, 4464);
        const QList<QByteArray> proxyLines{cp(ProxyPrepared), "PROXY: 127.0.0.1:70000"};
        EXPECT_EQ(view.lines, c.useProxy ? proxyLines : QList<QByteArray>{});

        view.lines.clear();
        transport.DisconnectServer();
        QList<QByteArray> down{cp(DisconnectIfConnected)};
        if (c.useProxy)
            down.append(cp(ProxyEnded));
        EXPECT_EQ(view.lines, down);
    }
}

TEST_F(ReportTransport, ServerPortThatIsNoNumberFailsBeforeTheNewTransport)
{
    transport.PrepareConnection();
    FrameSocket *previous = transport.Cl2Socket();
    core.config.ServerPort = "20o0";
    try {
        transport.PrepareConnection();
        FAIL() << "no failure";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "'20o0' is not a valid integer value");
    }
    EXPECT_EQ(transport.Cl2Socket(), previous);
}

TEST_F(ReportTransport, DirectConnectionReachesTheServer)
{
    useProxy("SOCKS", closedPort());
    core.config.Proxy.UseProxy = false; // the proxy settings do not matter
    transport.PrepareConnection();
    QByteArray message;
    ASSERT_TRUE(transport.ConnectServer(message)) << message.constData();
    EXPECT_TRUE(login());
    transport.DisconnectServer();
    EXPECT_EQ(transport.ReportIOHandler()->state(), QAbstractSocket::UnconnectedState);
    // A second attempt gets a new transport and connects again.
    transport.PrepareConnection();
    ASSERT_TRUE(transport.ConnectServer(message)) << message.constData();
    EXPECT_TRUE(login());
    EXPECT_EQ(server.connectionCount(), 2);

    core.config.ServerPort = QByteArray::number(closedPort());
    transport.PrepareConnection();
    EXPECT_FALSE(transport.ConnectServer(message));
    EXPECT_EQ(message, "Connection refused");
}

TEST_F(ReportTransport, HttpBranchHandsTheProxyConnectionToTheConnector)
{
    QTcpServer proxy;
    ASSERT_TRUE(proxy.listen(QHostAddress::LocalHost, 0));
    useProxy("socks", proxy.serverPort() + 65536, "5alice", "pw");
    transport.PrepareConnection();
    QByteArray message;
    EXPECT_FALSE(transport.ConnectServer(message));
    EXPECT_EQ(message, "HTTP/1.1 403 Forbidden");
    ASSERT_EQ(connector->calls, 1);
    EXPECT_TRUE(connector->socketConnected);
    EXPECT_EQ(connector->peerPort, proxy.serverPort());
    EXPECT_EQ(connector->proxy.user, "5alice");
    EXPECT_EQ(connector->proxy.password, "pw");
    EXPECT_EQ(connector->targetHost, "127.0.0.1");
    EXPECT_EQ(connector->targetPort, server.port());
    EXPECT_GT(connector->timeoutMs, 0);
    EXPECT_LE(connector->timeoutMs, ServerTransport::ConnectTimeoutMs);

    connector->accept = true;
    transport.PrepareConnection();
    EXPECT_TRUE(transport.ConnectServer(message));

    // Without a connector the HTTP branch fails as a refusing proxy does,
    // without touching the proxy.
    MyHERONThread bare{core};
    transport.DisconnectServer();
    QTest::qWait(50);
    while (QTcpSocket *s = proxy.nextPendingConnection())
        delete s;
    bare.PrepareConnection();
    EXPECT_FALSE(bare.ConnectServer(message));
    EXPECT_EQ(message, "Connection refused");
    EXPECT_FALSE(proxy.waitForNewConnection(50));
}

TEST_F(ReportTransport, PassWithTheServerClosedFailsAndFilesTheLanError)
{
    core.config.AlarmInterval = "4";
    core.config.ServerPort = QByteArray::number(closedPort());
    core.state.LastReportTime = clock.tickSeconds();
    thread->threadStart();
    core.state.ImmediateReport = true;
    view.lines.clear();
    const qint64 before = clock.totalSlept();
    ASSERT_TRUE(thread->step());
    EXPECT_EQ(clock.totalSlept() - before, 5000);
    EXPECT_TRUE(thread->state().ReportFailed);
    EXPECT_TRUE(view.lines.contains(cp(NoConnection) + "127.0.0.1:" + core.config.ServerPort));
    EXPECT_TRUE(view.lines.contains("(10) Connection refused"));
    EXPECT_EQ(view.intervallLeft.last(), "Connect");
    EXPECT_EQ(view.reportCommandsEnabled, (QList<bool>{false, true}));

    ASSERT_TRUE(thread->step());
    const QStringList files = QDir(work.path()).entryList({QStringLiteral("ABC1234?.??R")}, QDir::Files);
    EXPECT_EQ(files.size(), 1);
    EXPECT_TRUE(core.state.AlarmFlags & AlarmBit::Network);
    EXPECT_EQ(core.semaphore.available(), 1);
    thread->threadEnd();
    EXPECT_EQ(core.state.ActiveThreadCount.load(), 0);
}

// --- Through a real SOCKS 5 proxy -------------------------------------------

class SocksTransport : public ReportTransport
{
protected:
    DanteProxy dante;
    void SetUp() override
    {
        ReportTransport::SetUp();
        const QString why = dante.start("s3cret");
        if (!why.isEmpty())
            GTEST_SKIP() << "SOCKS 5 proxy not available: " << why.toStdString();
    }
    void TearDown() override
    {
        ReportTransport::TearDown();
        dante.stop();
    }
};

TEST_F(SocksTransport, RightPasswordLogsInThroughTheProxy)
{
    useProxy("SOCKS", dante.port(), dante.user(), "s3cret");
    transport.PrepareConnection();
    QByteArray message;
    ASSERT_TRUE(transport.ConnectServer(message)) << message.constData();
    EXPECT_TRUE(login());
    EXPECT_EQ(server.connectionCount(), 1);
    // The server was reached by the proxy, not straight.
    EXPECT_TRUE(dante.log().contains("." + QByteArray::number(server.port()))) << dante.log().constData();
}

TEST_F(SocksTransport, WrongPasswordFailsAsAConnectFailure)
{
    useProxy("SOCKS", dante.port(), dante.user(), "wrong");
    transport.PrepareConnection();
    QByteArray message;
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(transport.ConnectServer(message));
    EXPECT_LT(t.elapsed(), ServerTransport::ConnectTimeoutMs);
    EXPECT_FALSE(message.isEmpty());
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(SocksTransport, PortAboveSixteenBitsAddressesItsLowBits)
{
    useProxy("SOCKS", dante.port() + 65536, dante.user(), "s3cret");
    transport.PrepareConnection();
    QByteArray message;
    ASSERT_TRUE(transport.ConnectServer(message)) << message.constData();
    EXPECT_TRUE(login());
}

TEST_F(SocksTransport, LowerCaseSocksTakesTheHttpBranch)
{
    useProxy("socks", dante.port(), dante.user(), "s3cret");
    transport.PrepareConnection();
    QByteArray message;
    EXPECT_FALSE(transport.ConnectServer(message));
    EXPECT_EQ(connector->calls, 1);
    EXPECT_EQ(server.connectionCount(), 0);
}
