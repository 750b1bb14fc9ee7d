#include "HeronStandin.h"

#include "common/ProxyConfigFile.h"
#include "common/Text8.h"
#include "gui/TFConfigProxyZugang.h"
#include "gui/TFR2U_Radadu.h"
#include "reporting/ProxyDialogTexts.h"
#include "station/StationConfig.h"
#include "support/DanteProxy.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/ScriptedHttpProxy.h"
#include "support/TempDir.h"
#include "support/UnwritableFolder.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

#include <sys/stat.h>

namespace {

QString q(const char *utf8)
{
    return Text8::toQString(Text8::cp(utf8));
}
QByteArray cp(const char *utf8)
{
    return Text8::cp(utf8);
}

const QByteArray kMask(5, char(0xB0));
const QString kMaskShown = QString(5, QChar(0xB0));

QByteArray proxyFile(const QByteArray &host, const QByteArray &port, const QByteArray &user,
                     const QByteArray &password, const QByteArray &destination, const char *use, const char *kind)
{
    return "PROXY-SERVER-ADRESSE\r\n" + host + "\r\nPROXY-SERVER-PORT\r\n" + port +
           "\r\nPROXY-SERVER-USERNAME\r\n" + user + "\r\nPROXY-SERVER-PASSWORT\r\n" + password +
           "\r\nDESTINATION-SERVER\r\n" + destination + "\r\nPROXY-BENUTZUNG\r\n" + use +
           "\r\nPROXY-SELECTION\r\n" + kind + "\r\n";
}

mode_t fileMode(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

struct ProxyDialog : ::testing::Test
{
    ScopedWorkDir work;
    StationConfig config;
    ManualClock clock;
    RecordingNotices notices;
    QTimer supervision;
    std::unique_ptr<TFConfigProxyZugang> dialog;

    void SetUp() override
    {
        config.ServerHost = "127.0.0.1";
        config.ServerPort = "2000";
        dialog = std::make_unique<TFConfigProxyZugang>(config);
        dialog->setNotices(&notices);
        dialog->MainTimer1 = &supervision;
        dialog->logic().clock = &clock;
        dialog->logic().AnswerTimeoutMs = 50; // a silent peer costs little
        supervision.setInterval(60000);
        supervision.start();
    }
    void open()
    {
        dialog->show();
        QApplication::processEvents();
    }
    void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Leaves the password box for the next control, as a Tab would.
    void leavePassword()
    {
        dialog->TBxPasswort->setFocus();
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(dialog->TBxPasswort, &out);
    }
};

} // namespace

TEST_F(ProxyDialog, ControlsCaptionsAndHints)
{
    EXPECT_EQ(dialog->windowTitle(), q("Konfiguration des PROXY-Server-Zugangs über SOCKS"));
    const struct
    {
        const char *name;
        const char *caption;
        const char *hint;
    } controls[] = {
        {"TBxProxyIP", "", "geben Sie hier die Adresse oder den DNS-Namen des PROXY-Servers ein"},
        {"TBxProxyPort", "1080", "geben Sie hier die PROXY-Portnummer ein (z.B. 8080 bei PROXY-HTTP-Anmeldung)"},
        {"useproxy", "PROXY benutzen",
         "legen Sie hier fest, ob das Programm beim Verbinden zum Server über den PROXY gehen soll"},
        {"TBxName", "", "geben Sie hier den Benutzernamen für die PROXY-Anmeldung ein"},
        {"TBxPasswort", "", "geben Sie hier das Passwort für die PROXY-Anmeldung ein"},
        {"RBhttp", "verwende \"Through-Http\"", "Wählen Sie hier die Verbindung über \"Connection Through HTTP\" aus"},
        {"RBSocks", "use socks", "Wählen sie hie die PROXY-Verbindung über SOCKS-Autentifizierung aus"},
        {"Button1", "Abbruch", "Abbruch und Beibehaltung der bisherigen Einstellungen"},
        {"ButtonProxyTest", "Verbindungstest", "Testen, ob die PROXY-Verbindung funktioniert"},
        {"Button2", "Speichern", "neue Konfiguration speichern und aktivieren"},
    };
    for (const auto &c : controls) {
        SCOPED_TRACE(c.name);
        QWidget *w = dialog->findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->toolTip(), q(c.hint));
        QString caption;
        if (auto *e = qobject_cast<QLineEdit *>(w))
            caption = e->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(w))
            caption = b->text();
        EXPECT_EQ(caption, q(c.caption));
    }
    EXPECT_EQ(dialog->TBxPasswort->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(dialog->RBSocks->isChecked());
    EXPECT_FALSE(dialog->useproxy->isChecked());
    EXPECT_FALSE(dialog->ButtonProxyTest->isEnabled());
    auto *timer = dialog->findChild<QTimer *>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 4000);
    EXPECT_FALSE(timer->isActive());
    for (const char *label : {"PROXY-Server-Adresse", "Port des Proxy-Servers", "Benutzername", "Passwort"}) {
        bool found = false;
        for (QLabel *l : dialog->findChildren<QLabel *>())
            found = found || l->text() == q(label);
        EXPECT_TRUE(found) << label;
    }
}

TEST_F(ProxyDialog, ActivationFillsTheControlsAndSwitchesTheSupervisionOff)
{
    work.write("proxyconfig.cfg", proxyFile("proxy.local", "3128", "bob", "geheim", "heron", "ja", "socks"));
    open();
    EXPECT_FALSE(supervision.isActive());
    EXPECT_EQ(dialog->TBxProxyIP->text(), QStringLiteral("proxy.local"));
    EXPECT_EQ(dialog->TBxProxyPort->text(), QStringLiteral("3128"));
    EXPECT_EQ(dialog->TBxName->text(), QStringLiteral("bob"));
    EXPECT_EQ(dialog->TBxPasswort->text(), kMaskShown);
    EXPECT_EQ(dialog->logic().ProxyPasswordEntry, "geheim");
    EXPECT_TRUE(dialog->RBhttp->isChecked()); // only "SOCKS" selects SOCKS 5
    EXPECT_TRUE(dialog->useproxy->isChecked());
    EXPECT_TRUE(dialog->ButtonProxyTest->isEnabled());
    EXPECT_EQ(config.Proxy, (ProxySettings{true, "proxy.local", 3128, "bob", "geheim", "socks"}));

    QTest::mouseClick(dialog->useproxy, Qt::LeftButton);
    EXPECT_FALSE(dialog->ButtonProxyTest->isEnabled());
    QTest::mouseClick(dialog->Button1, Qt::LeftButton); // Abbruch
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_TRUE(supervision.isActive());
    EXPECT_TRUE(config.Proxy.UseProxy); // nothing saved
}

TEST_F(ProxyDialog, PasswordMask)
{
    work.write("proxyconfig.cfg", proxyFile("p", "1080", "bob", "geheim", "", "1", "SOCKS"));
    open();
    ASSERT_EQ(dialog->TBxPasswort->text(), kMaskShown);

    // Typing behind the mask makes the whole text, mask included, the password.
    dialog->TBxPasswort->setFocus();
    dialog->TBxPasswort->end(false);
    QTest::keyClicks(dialog->TBxPasswort, "x");
    EXPECT_EQ(dialog->logic().ProxyPasswordEntry, kMask + "x");
    EXPECT_EQ(dialog->TBxPasswort->text(), kMaskShown + 'x');
    // The mask timer hides it again.
    dialog->Timer1Timer();
    EXPECT_EQ(dialog->TBxPasswort->text(), kMaskShown);
    EXPECT_EQ(dialog->logic().ProxyPasswordEntry, kMask + "x");

    // A new password with a non-ASCII letter, hidden when the box is left.
    dialog->TBxPasswort->clear();
    QTest::keyClicks(dialog->TBxPasswort, "Gr");
    QTest::sendKeyEvent(QTest::KeyAction::Click, dialog->TBxPasswort, Qt::Key_unknown, QChar(0xFC), Qt::NoModifier);
    leavePassword();
    EXPECT_EQ(dialog->logic().ProxyPasswordEntry, "Gr\xFC");
    EXPECT_EQ(dialog->TBxPasswort->text(), kMaskShown);

    // Emptying the box and leaving it clears the password; Speichern writes it empty.
    dialog->TBxPasswort->clear();
    leavePassword();
    EXPECT_EQ(dialog->TBxPasswort->text(), QString());
    EXPECT_EQ(dialog->logic().ProxyPasswordEntry, "");
    dialog->Button2Click();
    EXPECT_TRUE(work.read("proxyconfig.cfg").contains("PROXY-SERVER-PASSWORT\r\n\r\n"));
    EXPECT_EQ(config.Proxy.ProxyPassword, "");

    // Without a password in the file the box stays empty.
    work.write("proxyconfig.cfg", proxyFile("p", "1080", "bob", "", "", "1", "SOCKS"));
    open();
    EXPECT_EQ(dialog->TBxPasswort->text(), QString());
}

TEST_F(ProxyDialog, SpeichernWritesTheFileOwnerOnlyAndTheLiveSettings)
{
    open();
    type(dialog->TBxProxyIP, QStringLiteral("10.0.0.7"));
    type(dialog->TBxProxyPort, QStringLiteral("08080"));
    type(dialog->TBxName, QStringLiteral("m"));
    QTest::sendKeyEvent(QTest::KeyAction::Click, dialog->TBxName, Qt::Key_unknown, QChar(0xFC), Qt::NoModifier);
    type(dialog->TBxPasswort, QStringLiteral("s3cret"));
    QTest::mouseClick(dialog->useproxy, Qt::LeftButton);
    QTest::mouseClick(dialog->RBhttp, Qt::LeftButton);
    config.ServerHost = "heron.example";
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);

    EXPECT_TRUE(notices.shown.isEmpty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(work.read("proxyconfig.cfg"),
              proxyFile("10.0.0.7", "08080", "m\xFC", "s3cret", "heron.example", "1", "HTTP"));
    EXPECT_EQ(fileMode(work.file("proxyconfig.cfg")), 0600u);
    EXPECT_EQ(config.Proxy, (ProxySettings{true, "10.0.0.7", 8080, "m\xFC", "s3cret", "HTTP"}));
    EXPECT_TRUE(supervision.isActive());

    // The next activation shows the number without its zero.
    open();
    EXPECT_EQ(dialog->TBxProxyPort->text(), QStringLiteral("8080"));
    EXPECT_EQ(dialog->TBxPasswort->text(), kMaskShown);
    // SOCKS chosen: the file ends with the selection SOCKS.
    QTest::mouseClick(dialog->RBSocks, Qt::LeftButton);
    dialog->Button2Click();
    EXPECT_TRUE(work.read("proxyconfig.cfg").endsWith("PROXY-SELECTION\r\nSOCKS\r\n"));
    EXPECT_EQ(config.Proxy.ProxyKind, "SOCKS");
    EXPECT_EQ(config.Proxy.ProxyPassword, "s3cret");
}

TEST_F(ProxyDialog, SpeichernChecksAddressAndPort)
{
    const struct
    {
        const char *name;
        QString host;
        QString port;
        bool use;
        QByteArray message; // empty: saved
        const char *focus;
    } cases[] = {
        {"no address, proxy off", "", "1080", false, {}, nullptr},
        {"no address, proxy on", "", "1080", true, cp("Bitte eine PROXY-IP-Adresse eingeben!"), "TBxProxyIP"},
        {"port no number", "p", "80a", false, cp("Bitte gültige Portnummer eingeben"), "TBxProxyPort"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(work.file("proxyconfig.cfg"));
        notices.shown.clear();
        open();
        dialog->TBxProxyIP->setText(c.host);
        dialog->TBxProxyPort->setText(c.port);
        dialog->useproxy->setChecked(c.use);
        dialog->Button2Click();
        EXPECT_EQ(notices.shown, c.message.isEmpty() ? QByteArrayList{} : QByteArrayList{c.message});
        EXPECT_EQ(QFile::exists(work.file("proxyconfig.cfg")), c.message.isEmpty());
        EXPECT_EQ(dialog->isVisible(), !c.message.isEmpty());
        if (c.focus) {
            EXPECT_EQ(dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString(),
                      QString::fromLatin1(c.focus));
        }
        dialog->hide();
    }
}

// A value with a line break or a NUL would shift the file's lines: a
// password pasted with its line end, saved as "no proxy, SOCKS", would read
// back as proxy on. Refused like the configuration dialog refuses such a
// server address: the message, the focus on the box, nothing written.
TEST_F(ProxyDialog, SpeichernAndTheTestRefuseALineBreakOrNul)
{
    const QByteArray old = proxyFile("old.proxy", "3128", "alt", "alt", "heron", "1", "HTTP");
    const struct
    {
        const char *name;
        const char *box;
        QString text;
        bool paste;
    } cases[] = {
        {"password pasted with its line end", "TBxPasswort", QStringLiteral("s3cret\n"), true},
        {"password with a CR", "TBxPasswort", QStringLiteral("s3\rcret"), false},
        {"address with CR LF", "TBxProxyIP", QStringLiteral("proxy.local\r\n1"), true},
        {"user with a NUL", "TBxName", QStringLiteral("bob") + QChar(0) + QStringLiteral("x"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool test : {false, true}) {
            SCOPED_TRACE(test ? "Verbindungstest" : "Speichern");
            work.write("proxyconfig.cfg", old);
            open();
            const ProxySettings before = config.Proxy;
            notices.shown.clear();
            dialog->useproxy->setChecked(false);
            dialog->RBSocks->setChecked(true);
            auto *box = dialog->findChild<QLineEdit *>(QString::fromLatin1(c.box));
            ASSERT_NE(box, nullptr);
            box->setFocus();
            box->clear();
            if (c.paste) {
                QApplication::clipboard()->setText(c.text);
                box->paste();
            } else {
                box->setText(c.text);
            }
            ASSERT_EQ(box->text(), c.text);
            if (test)
                dialog->ButtonProxyTestClick();
            else
                QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            EXPECT_EQ(notices.shown,
                      QByteArrayList{cp("PROXY-Angaben dürfen keinen Zeilenumbruch und kein NUL-Zeichen enthalten!")});
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->focusWidget(), box);
            EXPECT_EQ(work.read("proxyconfig.cfg"), old);
            EXPECT_EQ(config.Proxy, before);
            dialog->hide();
        }
    }

    // A server host that would not stay on its line (from a hand-edited
    // r2arodire.cfg) keeps nothing from being saved: its pair goes in empty.
    config.ServerHost = "heron\r";
    notices.shown.clear();
    open();
    dialog->Button2Click();
    EXPECT_TRUE(notices.shown.isEmpty());
    EXPECT_EQ(work.read("proxyconfig.cfg"), proxyFile("old.proxy", "3128", "alt", "alt", "", "1", "HTTP"));
}

// proxyconfig.cfg cannot be replaced: "Speichern" and the test show the
// file and the system's reason (with the supervision timer still off), the
// dialog stays open with what was typed, the password too, and the old file
// and the live settings stay as they were; the test does not run (its
// proxy, 127.0.0.1:1, would refuse at once and show a second box). Once the
// file can be written again, "Speichern" saves what was typed and closes.
TEST_F(ProxyDialog, FileThatCannotBeWrittenIsShownAndTheDialogKeepsTheTypedValues)
{
    const QByteArray old = proxyFile("old.proxy", "3128", "alt", "altpw", "heron", "0", "HTTP");
    using Kind = UnwritableFolder::Kind;
    const struct
    {
        const char *name;
        std::optional<Kind> kind; // none: a folder where the file should be
    } cases[] = {{"a folder in its place", std::nullopt},
                 {"full disk", Kind::Full},
                 {"read-only folder", Kind::ReadOnly}};
    int n = 0;
    for (const auto &c : cases) {
        for (const bool test : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (test ? ", Verbindungstest" : ", Speichern"));
            const QString name = QStringLiteral("case%1").arg(n++);
            const QString dir = work.file(name);
            std::optional<UnwritableFolder> folder;
            QString reason = QStringLiteral("Filename refers to a directory");
            if (c.kind) {
                folder.emplace(dir, *c.kind, QStringLiteral("proxyconfig.cfg"), old);
                if (!folder->whyNot().isEmpty())
                    GTEST_SKIP() << folder->whyNot().toStdString();
                reason = folder->reason();
            } else {
                ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/proxyconfig.cfg")));
            }
            ASSERT_TRUE(QDir::setCurrent(dir));
            notices.shown.clear();
            open();
            if (folder) {
                EXPECT_EQ(config.Proxy, (ProxySettings{false, "old.proxy", 3128, "alt", "altpw", "HTTP"}));
            }
            const ProxySettings before = config.Proxy;
            type(dialog->TBxProxyIP, QStringLiteral("127.0.0.1"));
            type(dialog->TBxProxyPort, QStringLiteral("1"));
            type(dialog->TBxName, QStringLiteral("neu"));
            type(dialog->TBxPasswort, QStringLiteral("neu-pw"));
            dialog->useproxy->setChecked(true);
            dialog->RBSocks->setChecked(true);
            bool supervisionOn = true;
            notices.onShow = [&](const QByteArray &, NoticeButtons) {
                supervisionOn = supervision.isActive();
            };
            if (test)
                dialog->ButtonProxyTestClick();
            else
                QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            notices.onShow = nullptr;

            EXPECT_EQ(notices.shown, QByteArrayList{"Speichern der PROXY-Einstellungen gescheitert!\n\r" +
                                                    Text8::fromQString(dir) + "/proxyconfig.cfg: " +
                                                    Text8::fromQString(reason)});
            EXPECT_FALSE(supervisionOn);
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->TBxProxyIP->text(), QStringLiteral("127.0.0.1"));
            EXPECT_EQ(dialog->TBxProxyPort->text(), QStringLiteral("1"));
            EXPECT_EQ(dialog->TBxName->text(), QStringLiteral("neu"));
            EXPECT_EQ(dialog->logic().ProxyPasswordEntry, "neu-pw");
            EXPECT_TRUE(dialog->useproxy->isChecked());
            EXPECT_TRUE(dialog->RBSocks->isChecked());
            EXPECT_EQ(config.Proxy, before);
            if (folder) {
                EXPECT_EQ(folder->read(), old);
                EXPECT_EQ(folder->strayFiles(), QStringList{});
                ASSERT_TRUE(folder->makeWritable());
            } else {
                ASSERT_TRUE(QDir(dir).rmdir(QStringLiteral("proxyconfig.cfg")));
            }

            notices.shown.clear();
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            EXPECT_TRUE(notices.shown.isEmpty());
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(work.read(name + QStringLiteral("/proxyconfig.cfg")),
                      proxyFile("127.0.0.1", "1", "neu", "neu-pw", "127.0.0.1", "1", "SOCKS"));
            EXPECT_EQ(config.Proxy, (ProxySettings{true, "127.0.0.1", 1, "neu", "neu-pw", "SOCKS"}));
            ASSERT_TRUE(QDir::setCurrent(work.path()));
        }
    }
}

// The test's answers come from the scripted proxy: after its "200 OK" it
// sends what the server would answer to the login.
TEST_F(ProxyDialog, ConnectionTestEvaluatesTheLoginAnswer)
{
    const QByteArray prefix = "ALLES OK\n\rVerbindung zum SENSORSERVER und Anmeldung O.K.\n\rAntwort: ";
    const struct
    {
        const char *name;
        QByteArray reply;
        QByteArray message;
    } cases[] = {
        {"accepted", "HTTP/1.1 200 OK\r\n\r\n\x01\x01\x01\x01"
                     "A",
         prefix + "#1 #1 #1 #1 A"},
        {"refused", "HTTP/1.1 200 OK\r\n\r\n\x01\x01\x01\x01N\x02zu",
         cp("Verbindung O.K. , aber Anmeldung wurde verweigert!\n\rfolgende Antwort wurde empfangen:\n\r"
            "#1 #1 #1 #1 N\x02zu")},
        {"no answer", "HTTP/1.1 200 OK\r\n\r\n\x01\x01",
         cp("***Verbindung O.K. , aber keine Antwort erhalten***")},
        {"proxy forbids", "HTTP/1.1 403 Forbidden\r\n\r\n",
         cp("Verbindung zum Sensorserver via Proxy-server gescheitert!\n\rHTTP/1.1 403 Forbidden")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpProxy proxy;
        proxy.setScript({{c.reply}});
        ASSERT_TRUE(proxy.start());
        notices.shown.clear();
        open();
        dialog->TBxProxyIP->setText(QStringLiteral("127.0.0.1"));
        dialog->TBxProxyPort->setText(QString::number(proxy.port()));
        dialog->useproxy->setChecked(true);
        dialog->RBhttp->setChecked(true);
        dialog->ButtonProxyTestClick();
        EXPECT_EQ(notices.shown, QByteArrayList{c.message});
        EXPECT_TRUE(dialog->isVisible()); // the test keeps the dialog open
        EXPECT_TRUE(work.read("proxyconfig.cfg").endsWith("PROXY-SELECTION\r\nHTTP\r\n")); // saved first
        dialog->hide();
    }
}

TEST_F(ProxyDialog, ConnectionTestThroughDanteSocks5)
{
    DanteProxy dante;
    const QString why = dante.start("s3cret");
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    HeronStandin server;
    QTemporaryDir uploads;
    server.setUploadDir(uploads.path());
    ASSERT_TRUE(server.start());
    config.ServerPort = QByteArray::number(server.port());

    const struct
    {
        const char *password;
        bool ok;
    } cases[] = {{"s3cret", true}, {"wrong", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.password);
        notices.shown.clear();
        open();
        dialog->TBxProxyIP->setText(QStringLiteral("127.0.0.1"));
        dialog->TBxProxyPort->setText(QString::number(dante.port()));
        dialog->TBxName->setText(QString::fromLatin1(dante.user()));
        dialog->TBxPasswort->setText(QString::fromLatin1(c.password));
        dialog->useproxy->setChecked(true);
        dialog->RBSocks->setChecked(true);
        dialog->ButtonProxyTestClick();
        ASSERT_EQ(notices.shown.size(), 1);
        if (c.ok) {
            EXPECT_EQ(notices.shown[0],
                      "ALLES OK\n\rVerbindung zum SENSORSERVER und Anmeldung O.K.\n\rAntwort: #1 #1 #1 #1 A");
        } else {
            EXPECT_TRUE(notices.shown[0].startsWith(cp("Verbindung zum Sensorserver via Proxy-server gescheitert!\n\r")))
                << notices.shown[0].constData();
        }
        dialog->hide();
    }
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(ProxyDialog, Screenshot)
{
    work.write("proxyconfig.cfg", proxyFile("proxy.example", "8080", "station7", "geheim", "", "1", "HTTP"));
    open();
    const QImage image = dialog->grab().toImage();
    EXPECT_FALSE(image.isNull());
    if (const QByteArray path = qgetenv("KLIMA_SCREENSHOT"); !path.isEmpty()) {
        EXPECT_TRUE(image.save(QString::fromLocal8Bit(path), "PNG"));
    }
}

// The main menu's Proxy1 shows the dialog modally; the supervision timer
// rests while it is open.
TEST(ProxyMenu, Proxy1ShowsTheDialogWithTheSupervisionTimerOff)
{
    ScopedWorkDir work;
    ManualClock clock;
    RecordingNotices notices;
    TFR2U_Radadu w;
    StationPlatform p;
    p.clock = &clock;
    p.notices = &notices;
    p.quit = [] {};
    w.setPlatform(p);
    TFConfigProxyZugang dialog(w.core().config);
    dialog.MainTimer1 = w.Timer1;
    dialog.setNotices(&notices);
    w.FConfigProxyZugang = &dialog;
    work.write("proxyconfig.cfg", proxyFile("proxy.local", "3128", "bob", "geheim", "", "1", "HTTP"));
    w.Timer1->start();

    bool shownModal = false;
    bool supervisionOff = false;
    QTimer::singleShot(0, [&] {
        shownModal = dialog.isVisible() && dialog.isModal();
        supervisionOff = !w.Timer1->isActive();
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    w.Proxy1Click();
    EXPECT_TRUE(shownModal);
    EXPECT_TRUE(supervisionOff);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.core().config.Proxy, (ProxySettings{true, "proxy.local", 3128, "bob", "geheim", "HTTP"}));
}
