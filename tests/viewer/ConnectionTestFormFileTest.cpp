// The connection-test form's controls and its own reading and writing of
// proxyconfig.cfg.

#include "support/TempDir.h"
#include "support/UnwritableFolder.h"

#include "common/Text8.h"
#include "viewer/Form1Texts.h"
#include "viewer/TForm1.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray fileOf(const QByteArrayList &lines)
{
    QByteArray bytes;
    for (const QByteArray &l : lines)
        bytes += l + "\r\n";
    return bytes;
}

class Form1Test : public ::testing::Test
{
protected:
    Form1Test()
    {
        form.messages().setPresenter([this](const QString &text) { messages.append(text); });
    }
    template <class T> T *control(const char *name) { return form.findChild<T *>(QString::fromLatin1(name)); }
    QLineEdit *edit(const char *name) { return control<QLineEdit>(name); }
    QString text(const char *name) { return edit(name)->text(); }

    ScopedWorkDir dir; // the form keeps proxyconfig.cfg in the working folder
    TForm1 form;
    QStringList messages;
};

TEST_F(Form1Test, StartsWithItsDefaults)
{
    EXPECT_EQ(form.windowTitle(), u("Proxy konfigurieren und testen"));
    EXPECT_EQ(text("TBxDMCIP"), u(Form1Texts::DefaultServer));
    EXPECT_EQ(text("httpport"), u("80"));
    EXPECT_EQ(text("heronport"), u("2000"));
    EXPECT_EQ(text("Edit1"), u("index.php"));
    EXPECT_TRUE(text("TBxProxyIP").isEmpty());
    EXPECT_TRUE(text("TBxProxyPort").isEmpty());
    EXPECT_TRUE(control<QRadioButton>("RBSocks")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("CheckUseProxy")->isChecked());
    EXPECT_EQ(edit("TBxPasswort")->echoMode(), QLineEdit::Password);
    for (const char *name : {"TBxProxyIP", "TBxProxyPort", "TBxName", "TBxPasswort", "TBxDMCIP", "httpport", "Edit1",
                             "heronport"})
        EXPECT_NE(edit(name), nullptr) << name;
    for (const char *name : {"ButtonHTTPTest", "ButtonHERONTest", "Button1", "Button2"})
        EXPECT_NE(control<QPushButton>(name), nullptr) << name;
    EXPECT_NE(control<QLabel>("Panel1"), nullptr);
}

TEST_F(Form1Test, PortBoxesHoldIntegersOnly)
{
    struct Case
    {
        const char *box;
        const char *typed;
        const char *shown;
    } cases[] = {
        {"heronport", "", "2000"}, {"httpport", "", "80"},          {"heronport", "abc", "2000"},
        {"httpport", "8x", "80"},  {"heronport", "02001", "2001"}, {"httpport", " 81", "81"},
    };
    for (const Case &c : cases) {
        edit(c.box)->setText(u(c.typed));
        EXPECT_EQ(text(c.box), u(c.shown)) << c.box << " '" << c.typed << "'";
    }
    // Typed key by key: the leading zero goes as it is typed.
    edit("heronport")->selectAll();
    QTest::keyClicks(edit("heronport"), QStringLiteral("0"));
    EXPECT_EQ(text("heronport"), u("0"));
    QTest::keyClicks(edit("heronport"), QStringLiteral("21"));
    EXPECT_EQ(text("heronport"), u("21"));
    QTest::keyClick(edit("heronport"), Qt::Key_Backspace);
    QTest::keyClick(edit("heronport"), Qt::Key_Backspace);
    EXPECT_EQ(text("heronport"), u("2000"));
}

TEST_F(Form1Test, RadioButtonsPutTheirProxyPort)
{
    control<QRadioButton>("RBhttp")->click();
    EXPECT_EQ(text("TBxProxyPort"), u("8080"));
    control<QRadioButton>("RBSocks")->click();
    EXPECT_EQ(text("TBxProxyPort"), u("1080"));
}

TEST_F(Form1Test, InfoPanelNamesTheBuiltInServer)
{
    QTest::mouseClick(control<QLabel>("Panel1"), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], u("es wird eine Testverbindung zu Sensorserver \\\\127.0.0.1:2000/  ausgeführt"));
}

TEST_F(Form1Test, SpeichernWritesTheControlsAndTheNextShowingBringsThemBack)
{
    control<QRadioButton>("RBhttp")->click();
    edit("TBxProxyIP")->setText(u(" proxy.local "));
    edit("TBxProxyPort")->setText(u("03128"));
    edit("TBxName")->setText(u("Jürgen"));
    edit("TBxPasswort")->setText(u("geheim wort"));
    edit("TBxDMCIP")->setText(u("127.0.0.2"));
    control<QCheckBox>("CheckUseProxy")->setChecked(true);
    form.show();
    control<QPushButton>("Button2")->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 1);

    EXPECT_EQ(dir.read("proxyconfig.cfg"),
              fileOf({"PROXY-SERVER-ADRESSE", " proxy.local ", "PROXY-SERVER-PORT", "03128", "PROXY-SERVER-USERNAME",
                      Text8::cp("Jürgen"), "PROXY-SERVER-PASSWORT", "geheim wort", "DESTINATION-SERVER",
                      "127.0.0.2", "PROXY-BENUTZUNG", "1", "PROXY-SELECTION", "HTTP"}));

    TForm1 again;
    again.show(); // activation loads the file
    auto t = [&](const char *name) { return again.findChild<QLineEdit *>(QString::fromLatin1(name))->text(); };
    EXPECT_EQ(t("TBxProxyIP"), u(" proxy.local "));
    EXPECT_EQ(t("TBxProxyPort"), u("03128")); // not the 8080 of the radio button's rule
    EXPECT_EQ(t("TBxName"), u("Jürgen"));
    EXPECT_EQ(t("TBxPasswort"), u("geheim wort"));
    EXPECT_EQ(t("TBxDMCIP"), u("127.0.0.2"));
    EXPECT_TRUE(again.findChild<QRadioButton *>(QStringLiteral("RBhttp"))->isChecked());
    EXPECT_TRUE(again.findChild<QCheckBox *>(QStringLiteral("CheckUseProxy"))->isChecked());
}

TEST_F(Form1Test, AbbruchWritesNothing)
{
    edit("TBxProxyIP")->setText(u("10.0.0.1"));
    form.show();
    control<QPushButton>("Button1")->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 1);
    EXPECT_FALSE(QFile::exists(dir.file("proxyconfig.cfg")));
}

// proxyconfig.cfg cannot be replaced: Speichern shows the file and the
// system's reason, the form stays open with what was typed and the old file
// stays as it was. Once the file can be written, Speichern saves and closes.
TEST_F(Form1Test, SpeichernThatCannotWriteShowsWhyAndKeepsTheForm)
{
    const QByteArray old =
        fileOf({"PROXY-SERVER-ADRESSE", "old.proxy", "PROXY-SERVER-PORT", "1080", "PROXY-SERVER-USERNAME",
                "alt", "PROXY-SERVER-PASSWORT", "altpw", "DESTINATION-SERVER", "127.0.0.1", "PROXY-BENUTZUNG",
                "0", "PROXY-SELECTION", "SOCKS"});
    using Kind = UnwritableFolder::Kind;
    const struct
    {
        const char *name;
        std::optional<Kind> kind; // none: the folder does not exist
    } cases[] = {
        {"missing folder", std::nullopt}, {"full disk", Kind::Full}, {"read-only folder", Kind::ReadOnly}};
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("case%1/proxyconfig.cfg").arg(n++);
        const QString path = dir.file(name);
        const QString folderPath = QFileInfo(path).path();
        std::optional<UnwritableFolder> folder;
        QString reason = QStringLiteral("No such file or directory");
        if (c.kind) {
            folder.emplace(folderPath, *c.kind, QStringLiteral("proxyconfig.cfg"), old);
            if (!folder->whyNot().isEmpty())
                GTEST_SKIP() << folder->whyNot().toStdString();
            reason = folder->reason();
        }
        form.setProxyFilePath(path);
        messages.clear();
        form.show();
        if (folder) {
            EXPECT_EQ(text("TBxProxyIP"), u("old.proxy")); // loaded
        }
        control<QRadioButton>("RBhttp")->click();
        edit("TBxProxyIP")->setText(u("10.0.0.9"));
        edit("TBxProxyPort")->setText(u("3128"));
        edit("TBxName")->setText(u("neu"));
        edit("TBxPasswort")->setText(u("neu-pw"));
        edit("TBxDMCIP")->setText(u("127.0.0.2"));
        control<QCheckBox>("CheckUseProxy")->setChecked(true);
        control<QPushButton>("Button2")->click();

        EXPECT_EQ(messages,
                  QStringList{u("Speichern der PROXY-Einstellungen gescheitert!\n\r") + path + u(": ") + reason});
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(text("TBxProxyIP"), u("10.0.0.9"));
        EXPECT_EQ(text("TBxProxyPort"), u("3128"));
        EXPECT_EQ(text("TBxName"), u("neu"));
        EXPECT_EQ(text("TBxPasswort"), u("neu-pw"));
        EXPECT_EQ(text("TBxDMCIP"), u("127.0.0.2"));
        EXPECT_TRUE(control<QCheckBox>("CheckUseProxy")->isChecked());
        EXPECT_TRUE(control<QRadioButton>("RBhttp")->isChecked());
        if (folder) {
            EXPECT_EQ(folder->read(), old);
            EXPECT_EQ(folder->strayFiles(), QStringList{});
            ASSERT_TRUE(folder->makeWritable());
        } else {
            ASSERT_TRUE(QDir().mkpath(folderPath));
        }

        messages.clear();
        control<QPushButton>("Button2")->click();
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(dir.read(name), fileOf({"PROXY-SERVER-ADRESSE", "10.0.0.9", "PROXY-SERVER-PORT", "3128",
                                          "PROXY-SERVER-USERNAME", "neu", "PROXY-SERVER-PASSWORT", "neu-pw",
                                          "DESTINATION-SERVER", "127.0.0.2", "PROXY-BENUTZUNG", "1",
                                          "PROXY-SELECTION", "HTTP"}));
    }
}

// A line break or a NUL in a box would shift the lines of the file after
// it: Speichern refuses it with the message, the box gets the focus, the form
// stays open and the file stays as it was.
TEST_F(Form1Test, SpeichernRefusesALineBreakOrNul)
{
    const QByteArray old = fileOf({"PROXY-SERVER-ADRESSE", "old.proxy", "PROXY-SERVER-PORT", "1080",
                                   "PROXY-SERVER-USERNAME", "alt", "PROXY-SERVER-PASSWORT", "alt",
                                   "DESTINATION-SERVER", "127.0.0.1", "PROXY-BENUTZUNG", "0", "PROXY-SELECTION",
                                   "SOCKS"});
    const struct
    {
        const char *box;
        QString text;
    } cases[] = {
        {"TBxPasswort", u("s3cret\n")},
        {"TBxProxyIP", u("proxy.local\r\n")},
        {"TBxProxyPort", u("1080\r")},
        {"TBxName", u("bob") + QChar(0)},
        {"TBxDMCIP", u("127.0.0.1\n1")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.box);
        dir.write(QStringLiteral("proxyconfig.cfg"), old);
        messages.clear();
        form.show();
        edit(c.box)->setText(c.text);
        control<QPushButton>("Button2")->click();
        EXPECT_EQ(messages, QStringList{u("PROXY-Angaben dürfen keinen Zeilenumbruch und kein NUL-Zeichen enthalten!")});
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.focusWidget(), edit(c.box));
        EXPECT_EQ(dir.read("proxyconfig.cfg"), old);
        form.hide();
    }
}

struct LoadCase
{
    const char *name;
    QByteArrayList lines;
    const char *proxyIP, *proxyPort, *user, *password, *dmcip;
    bool useProxy;
    bool socks;
};

class Form1Load : public Form1Test, public ::testing::WithParamInterface<LoadCase>
{};

TEST_P(Form1Load, ReadsByPosition)
{
    const LoadCase &c = GetParam();
    dir.write(QStringLiteral("proxyconfig.cfg"), fileOf(c.lines));
    control<QRadioButton>(c.socks ? "RBhttp" : "RBSocks")->setChecked(true); // the load must switch it
    form.FormActivate();
    EXPECT_EQ(text("TBxProxyIP"), u(c.proxyIP));
    EXPECT_EQ(text("TBxProxyPort"), u(c.proxyPort));
    EXPECT_EQ(text("TBxName"), u(c.user));
    EXPECT_EQ(text("TBxPasswort"), u(c.password));
    EXPECT_EQ(text("TBxDMCIP"), u(c.dmcip));
    EXPECT_EQ(control<QCheckBox>("CheckUseProxy")->isChecked(), c.useProxy);
    EXPECT_EQ(control<QRadioButton>("RBSocks")->isChecked(), c.socks);
    EXPECT_EQ(control<QRadioButton>("RBhttp")->isChecked(), !c.socks);
}

const LoadCase kLoads[] = {
    {"LowerCaseSocks",
     {"PROXY-SERVER-ADRESSE", "p", "PROXY-SERVER-PORT", "1081", "PROXY-SERVER-USERNAME", "u",
      "PROXY-SERVER-PASSWORT", "pw", "DESTINATION-SERVER", "srv", "PROXY-BENUTZUNG", "1", "PROXY-SELECTION", "socks"},
     "p", "1081", "u", "pw", "srv", true, true},
    {"HttpSelection",
     {"PROXY-SERVER-ADRESSE", "p", "PROXY-SERVER-PORT", "3128", "PROXY-SERVER-USERNAME", "u",
      "PROXY-SERVER-PASSWORT", "pw", "DESTINATION-SERVER", "srv", "PROXY-BENUTZUNG", "0", "PROXY-SELECTION", "HTTP"},
     "p", "3128", "u", "pw", "srv", false, false},
    {"OtherSelectionAndUseFlag",
     {"A", "p", "B", "x", "C", "u", "D", "pw", "E", "srv", "F", "ja", "G", "Socks5"},
     "p", "x", "u", "pw", "srv", false, false},
    {"EmptyDestinationGivesTheBuiltInServer",
     {"PROXY-SERVER-ADRESSE", "p", "PROXY-SERVER-PORT", "1080", "PROXY-SERVER-USERNAME", "", "PROXY-SERVER-PASSWORT",
      "", "DESTINATION-SERVER", "", "PROXY-BENUTZUNG", "1", "PROXY-SELECTION", "SOCKS"},
     "p", "1080", "", "", "127.0.0.1", true, true},
    // Without the destination pair everything after the password shifts.
    {"TwelveLinesShift",
     {"PROXY-SERVER-ADRESSE", "p", "PROXY-SERVER-PORT", "1080", "PROXY-SERVER-USERNAME", "u",
      "PROXY-SERVER-PASSWORT", "pw", "PROXY-BENUTZUNG", "1", "PROXY-SELECTION", "SOCKS"},
     "p", "1080", "u", "pw", "1", false, false},
    {"ShortFileReadsEmptyLines", {"PROXY-SERVER-ADRESSE", "p"}, "p", "", "", "", "127.0.0.1", false, false},
};
INSTANTIATE_TEST_SUITE_P(Files, Form1Load, ::testing::ValuesIn(kLoads),
                         [](const ::testing::TestParamInfo<LoadCase> &info) { return std::string(info.param.name); });

TEST_F(Form1Test, MissingFileLeavesTheControls)
{
    edit("TBxProxyIP")->setText(u("ungespeichert"));
    edit("TBxProxyPort")->setText(u("1234"));
    form.FormActivate();
    EXPECT_EQ(text("TBxProxyIP"), u("ungespeichert"));
    EXPECT_EQ(text("TBxProxyPort"), u("1234"));
    EXPECT_EQ(text("TBxDMCIP"), u(Form1Texts::DefaultServer));
}

} // namespace

namespace {

// A grab of the shown form; to KLIMA_SCREENSHOT_DIR when it is set.
TEST_F(Form1Test, Screenshot)
{
    dir.write(QStringLiteral("proxyconfig.cfg"),
              fileOf({"PROXY-SERVER-ADRESSE", "127.0.0.1", "PROXY-SERVER-PORT", "1080", "PROXY-SERVER-USERNAME",
                      "socksuser", "PROXY-SERVER-PASSWORT", "s3cret", "DESTINATION-SERVER", "127.0.0.1",
                      "PROXY-BENUTZUNG", "1", "PROXY-SELECTION", "SOCKS"}));
    form.show();
    const QImage shot = form.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    if (const QByteArray target = qgetenv("KLIMA_SCREENSHOT_DIR"); !target.isEmpty()) {
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(target)).filePath(QStringLiteral("connection-test-form.png"))));
    }
    form.hide();
}

} // namespace

// The form is mapped once, at its final size and place: its contents' size,
// centred on the main window that owns it (a move or resize after mapping
// is what a bare X server may leave unpainted).
TEST(ConnectionTestFormPlace, OpensAtItsContentsSizeCentredOnTheMainWindow)
{
    ScopedWorkDir dir;
    QWidget owner;
    owner.setGeometry(300, 200, 700, 500);
    owner.show();
    TForm1 form(&owner);
    QRect mapped;
    QTimer::singleShot(0, &form, [&] {
        mapped = form.frameGeometry();
        form.reject();
    });
    form.exec();
    EXPECT_EQ(form.size(), form.sizeHint());
    EXPECT_LE(std::abs(mapped.center().x() - owner.frameGeometry().center().x()), 1);
    EXPECT_LE(std::abs(mapped.center().y() - owner.frameGeometry().center().y()), 1);
}
