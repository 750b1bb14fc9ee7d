// The connection-test form's two tests against real peers on loopback:
// dante (SOCKS 5), squid with Basic and with Digest and tinyproxy (HTTP
// CONNECT), the stand-in HERON server and a small web server.

#include "support/DanteProxy.h"
#include "support/HttpProxyPeers.h"
#include "support/LoopbackWebServer.h"

#include "HeronStandin.h"
#include "common/LoginFrame.h"
#include "common/LoginTestTexts.h"
#include "viewer/ConnectionTest.h"
#include "viewer/Form1Texts.h"
#include "viewer/TForm1.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

enum class PeerKind { Dante, SquidBasic, SquidDigest, TinyProxy };

// One running proxy and what a client needs to pass it.
struct RunningPeer
{
    bool http = false;
    quint16 port = 0;
    QByteArray user;
    QByteArray password;
    QString whyNot; // empty when it runs
    bool absent = false; // the program is not installed, or we may not start it
    std::unique_ptr<DanteProxy> dante;
    std::unique_ptr<HttpProxyPeers::Squid> squid;
    std::unique_ptr<HttpProxyPeers::TinyProxy> tiny;
};

// Only a program that is not installed (or a run without root) skips a test.
bool isAbsence(const QString &why)
{
    return why.contains(QStringLiteral("is missing")) || why.contains(QStringLiteral("needs root"));
}

// The peers are started once per test program and shared by its tests.
RunningPeer &peer(PeerKind kind)
{
    static std::map<PeerKind, std::unique_ptr<RunningPeer>> peers;
    std::unique_ptr<RunningPeer> &slot = peers[kind];
    if (slot)
        return *slot;
    slot = std::make_unique<RunningPeer>();
    RunningPeer &p = *slot;
    switch (kind) {
    case PeerKind::Dante:
        p.dante = std::make_unique<DanteProxy>();
        p.password = "s3cret";
        p.whyNot = p.dante->start(p.password);
        p.user = p.dante->user();
        p.port = p.dante->port();
        break;
    case PeerKind::SquidBasic:
    case PeerKind::SquidDigest:
        p.http = true;
        p.squid = std::make_unique<HttpProxyPeers::Squid>(
            kind == PeerKind::SquidBasic ? HttpProxyPeers::Squid::Auth::Basic : HttpProxyPeers::Squid::Auth::Digest);
        p.user = kind == PeerKind::SquidBasic ? "alice" : "bob";
        p.password = kind == PeerKind::SquidBasic ? "pw-basic" : "pw-digest";
        p.whyNot = p.squid->start(p.user, p.password);
        p.port = p.squid->port();
        break;
    case PeerKind::TinyProxy:
        p.http = true;
        p.tiny = std::make_unique<HttpProxyPeers::TinyProxy>();
        p.user = "carol";
        p.password = "pw-tiny";
        p.whyNot = p.tiny->start(p.user, p.password);
        p.port = p.tiny->port();
        break;
    }
    p.absent = isAbsence(p.whyNot);
    return p;
}

// The form with its controls, its messages caught.
class FormDriver
{
public:
    FormDriver()
    {
        form.messages().setPresenter([this](const QString &text) { messages.append(text); });
    }
    template <class T> T *control(const char *name) { return form.findChild<T *>(QString::fromLatin1(name)); }
    void setText(const char *name, const QString &text) { control<QLineEdit>(name)->setText(text); }

    void useProxy(const RunningPeer &p, const QByteArray &password)
    {
        control<QRadioButton>(p.http ? "RBhttp" : "RBSocks")->setChecked(true);
        setText("TBxProxyIP", QStringLiteral("127.0.0.1"));
        setText("TBxProxyPort", QString::number(p.port));
        setText("TBxName", QString::fromLatin1(p.user));
        setText("TBxPasswort", QString::fromLatin1(password));
        setText("TBxDMCIP", QStringLiteral("127.0.0.1"));
    }
    QString heronTest(quint16 port)
    {
        setText("heronport", QString::number(port));
        messages.clear();
        control<QPushButton>("ButtonHERONTest")->click();
        return messages.value(0);
    }
    QString httpTest(quint16 port, const QString &path = QStringLiteral("index.php"))
    {
        setText("httpport", QString::number(port));
        setText("Edit1", path);
        messages.clear();
        control<QPushButton>("ButtonHTTPTest")->click();
        return messages.value(0);
    }

    TForm1 form;
    QStringList messages;
};

const QString kAccepted = u(LoginTestTexts::AcceptedHead) + u("\n\r") + u(LoginTestTexts::AcceptedLine) + u("\n\r") +
                          u(LoginTestTexts::AcceptedAnswer) + u("#1 #1 #1 #1 A");
const QString kRefused = u(LoginTestTexts::RefusedHead) + u("\n\r") + u(LoginTestTexts::RefusedLine) + u("\n\r") +
                         u("#1 #1 #1 #1 C");

QByteArray webPage(int size)
{
    QByteArray page = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    for (int i = 0; page.size() < size; ++i)
        page += "Zeile " + QByteArray::number(i) + "\r\n";
    return page.left(size);
}

struct PeerCase
{
    const char *name;
    PeerKind kind;
};

class ThroughProxy : public ::testing::TestWithParam<PeerCase>
{
protected:
    void SetUp() override
    {
        RunningPeer &p = peer(GetParam().kind);
        if (p.absent)
            GTEST_SKIP() << GetParam().name << " not available: " << p.whyNot.toStdString();
        ASSERT_TRUE(p.whyNot.isEmpty()) << p.whyNot.toStdString();
        ASSERT_TRUE(heron.start());
        m_peer = &p;
    }
    const RunningPeer &proxy() const { return *m_peer; }

    HeronStandin heron;
    FormDriver driver;

private:
    const RunningPeer *m_peer = nullptr;
};

TEST_P(ThroughProxy, LoginAcceptedRefusedOrUnanswered)
{
    driver.useProxy(proxy(), proxy().password);

    EXPECT_EQ(driver.heronTest(heron.port()), kAccepted);
    ASSERT_TRUE(heron.waitUntil([](const HeronStandin &h) { return h.frames().size() == 1; }));
    EXPECT_EQ(heron.frames().value(0).raw, LoginFrame::frame()); // once, as the form built it

    heron.queueReactions({HeronStandin::Reaction::answer('C')});
    EXPECT_EQ(driver.heronTest(heron.port()), kRefused);

    heron.queueReactions({HeronStandin::Reaction::silent()});
    EXPECT_EQ(driver.heronTest(heron.port()), u(LoginTestTexts::NoAnswer));
    EXPECT_EQ(driver.messages.size(), 1);
}

TEST_P(ThroughProxy, HttpRequestShowsTheFirstThousandBytes)
{
    LoopbackWebServer web(webPage(1500), true);
    ASSERT_TRUE(web.begin());
    driver.useProxy(proxy(), proxy().password);

    const QString shown = driver.httpTest(web.port(), QStringLiteral("status.php?x=1"));

    EXPECT_EQ(shown, u(Form1Texts::HttpAnswer) + u("\n\r") + u(Form1Texts::HttpPlainText) + u("\r\n") +
                         QString::fromLatin1(webPage(1500).left(1000)) + u("\n\r"));
    EXPECT_EQ(web.request(), QByteArray("GET /status.php?x=1\r\n")); // no version, no header lines
}

TEST_P(ThroughProxy, ShortAnswerClosedOrKeptOpen)
{
    driver.useProxy(proxy(), proxy().password);
    {
        LoopbackWebServer closing(webPage(300), true);
        ASSERT_TRUE(closing.begin());
        EXPECT_EQ(driver.httpTest(closing.port()), u(Form1Texts::HttpNoConnection));
    }
    {
        LoopbackWebServer open(webPage(300), false);
        ASSERT_TRUE(open.begin());
        EXPECT_EQ(driver.httpTest(open.port()), u(Form1Texts::HttpNoAnswer));
    }
}

TEST_P(ThroughProxy, WrongPasswordShowsTheFailure)
{
    driver.useProxy(proxy(), "falsch");

    const QString shown = driver.heronTest(heron.port());

    EXPECT_FALSE(shown.isEmpty());
    EXPECT_NE(shown, kAccepted);
    EXPECT_NE(shown, u(LoginTestTexts::NoAnswer));
    EXPECT_EQ(heron.connectionCount(), 0) << shown.toStdString();
    std::cout << "  " << GetParam().name << " refuses: " << shown.toStdString() << "\n";
}

const PeerCase kPeers[] = {
    {"Dante", PeerKind::Dante},
    {"SquidBasic", PeerKind::SquidBasic},
    {"SquidDigest", PeerKind::SquidDigest},
    {"TinyProxy", PeerKind::TinyProxy},
};
INSTANTIATE_TEST_SUITE_P(Peers, ThroughProxy, ::testing::ValuesIn(kPeers),
                         [](const ::testing::TestParamInfo<PeerCase> &info) { return std::string(info.param.name); });

// Checks before any connection.

TEST(ConnectionTestForm, BothTestsNeedAProxyAddressAndAPortNumber)
{
    HeronStandin heron;
    ASSERT_TRUE(heron.start());
    FormDriver driver;
    driver.setText("TBxProxyIP", QString());
    EXPECT_EQ(driver.heronTest(heron.port()), u(LoginTestTexts::NoProxyAddress));
    EXPECT_EQ(driver.httpTest(heron.port()), u(LoginTestTexts::NoProxyAddress));

    driver.setText("TBxProxyIP", QStringLiteral("127.0.0.1"));
    driver.setText("TBxProxyPort", QStringLiteral("socks"));
    EXPECT_EQ(driver.heronTest(heron.port()), u(LoginTestTexts::BadPort));
    EXPECT_EQ(driver.httpTest(heron.port()), u(LoginTestTexts::BadPort));
    EXPECT_EQ(heron.connectionCount(), 0);
    EXPECT_EQ(driver.control<QPushButton>("ButtonHERONTest")->cursor().shape(), Qt::ArrowCursor);
}

TEST(ConnectionTestForm, AProxyThatIsNotThereShowsTheSocketsText)
{
    FormDriver driver;
    driver.setText("TBxProxyIP", QStringLiteral("127.0.0.1"));
    driver.setText("TBxProxyPort", QString::number(HttpProxyPeers::freePort()));
    const QString shown = driver.heronTest(2000);
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_NE(shown, u(LoginTestTexts::NoAnswer));
    EXPECT_EQ(driver.control<QPushButton>("ButtonHERONTest")->cursor().shape(), Qt::ArrowCursor);
}

TEST(ConnectionTestForm, ChecksumRuleOfTheFormIsTheFramesRule)
{
    EXPECT_EQ(TForm1::loginFrame(), LoginFrame::frame());
    for (const QByteArray &f : {QByteArray("\x05\x00\x01\x01\x41", 5), QByteArray(40, '\xFF'), QByteArray(3, '\0')}) {
        QByteArray withSum = f;
        withSum[1] = char(TForm1::FrameChecksum(f));
        quint8 sum = 0;
        for (char c : withSum)
            sum = quint8(sum + quint8(c));
        EXPECT_EQ(sum, 0);
    }
}

} // namespace
