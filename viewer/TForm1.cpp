#include "viewer/TForm1.h"

#include "common/LoginFrame.h"
#include "common/LoginTestTexts.h"
#include "common/ProxyConfigFile.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "viewer/ConnectionTest.h"
#include "viewer/Form1Texts.h"
#include "viewer/ViewerProxyFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QLineEdit *makeEdit(const char *name, const char *hint, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(u(hint));
    return edit;
}

QFrame *separator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

std::optional<quint16> portOf(const QString &text)
{
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(text));
    if (!v || *v < 0 || *v > 65535)
        return std::nullopt;
    return static_cast<quint16>(*v);
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QDialog(parent)
    , m_proxyFile(QString::fromLatin1(ProxyConfigFile::FileName))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(u(Form1Texts::Caption));

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize); // the form sizes itself to its contents

    auto *proxy = new QGridLayout;
    TBxProxyIP = makeEdit("TBxProxyIP", Form1Texts::ProxyIPHint, this);
    TBxProxyPort = makeEdit("TBxProxyPort", Form1Texts::ProxyPortHint, this);
    TBxName = makeEdit("TBxName", Form1Texts::NameHint, this);
    TBxPasswort = makeEdit("TBxPasswort", Form1Texts::PasswordHint, this);
    TBxPasswort->setEchoMode(QLineEdit::Password);
    TBxPasswort->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    TBxDMCIP = makeEdit("TBxDMCIP", Form1Texts::DMCIPHint, this);
    TBxDMCIP->setText(u(Form1Texts::DefaultServer));
    const struct
    {
        const char *label;
        QLineEdit *edit;
    } rows[] = {
        {Form1Texts::ProxyIPLabel, TBxProxyIP},  {Form1Texts::ProxyPortLabel, TBxProxyPort},
        {Form1Texts::NameLabel, TBxName},        {Form1Texts::PasswordLabel, TBxPasswort},
        {Form1Texts::DMCIPLabel, TBxDMCIP},
    };
    int row = 0;
    for (const auto &r : rows) {
        auto *label = new QLabel(u(r.label), this);
        label->setBuddy(r.edit);
        proxy->addWidget(label, row, 0);
        proxy->addWidget(r.edit, row, 1);
        ++row;
    }
    CheckUseProxy = new QCheckBox(u(Form1Texts::UseProxy), this);
    CheckUseProxy->setObjectName(QStringLiteral("CheckUseProxy"));
    RBhttp = new QRadioButton(u(Form1Texts::RBhttp), this);
    RBhttp->setObjectName(QStringLiteral("RBhttp"));
    RBhttp->setToolTip(u(Form1Texts::RBhttpHint));
    RBSocks = new QRadioButton(u(Form1Texts::RBSocks), this);
    RBSocks->setObjectName(QStringLiteral("RBSocks"));
    RBSocks->setToolTip(u(Form1Texts::RBSocksHint));
    RBSocks->setChecked(true);
    proxy->addWidget(CheckUseProxy, 0, 2);
    proxy->addWidget(RBhttp, 1, 2);
    proxy->addWidget(RBSocks, 2, 2);
    layout->addLayout(proxy);
    layout->addWidget(separator(this));

    auto *http = new QHBoxLayout;
    ButtonHTTPTest = new QPushButton(u(Form1Texts::HTTPTest), this);
    ButtonHTTPTest->setObjectName(QStringLiteral("ButtonHTTPTest"));
    ButtonHTTPTest->setToolTip(u(Form1Texts::TestHint));
    ButtonHTTPTest->setAutoDefault(false);
    httpport = makeEdit("httpport", Form1Texts::HttpPortHint, this);
    httpport->setText(u(Form1Texts::HttpPortDefault));
    httpport->setMaximumWidth(60);
    Edit1 = makeEdit("Edit1", Form1Texts::GetHint, this);
    Edit1->setText(u(Form1Texts::GetDefault));
    http->addWidget(ButtonHTTPTest);
    http->addWidget(new QLabel(u(Form1Texts::PortLabel), this));
    http->addWidget(httpport);
    http->addWidget(new QLabel(u(Form1Texts::GetLabel), this));
    http->addWidget(Edit1);
    layout->addLayout(http);
    layout->addWidget(separator(this));

    auto *heron = new QHBoxLayout;
    ButtonHERONTest = new QPushButton(u(Form1Texts::HERONTest), this);
    ButtonHERONTest->setObjectName(QStringLiteral("ButtonHERONTest"));
    ButtonHERONTest->setToolTip(u(Form1Texts::TestHint));
    ButtonHERONTest->setAutoDefault(false);
    heronport = makeEdit("heronport", Form1Texts::HeronPortHint, this);
    heronport->setText(u(Form1Texts::HeronPortDefault));
    heronport->setMaximumWidth(60);
    Panel1 = new QLabel(u(Form1Texts::Panel1), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setCursor(Qt::PointingHandCursor);
    Panel1->installEventFilter(this);
    heron->addWidget(ButtonHERONTest);
    heron->addWidget(new QLabel(u(Form1Texts::PortLabel), this));
    heron->addWidget(heronport);
    heron->addWidget(Panel1, 1);
    layout->addLayout(heron);
    layout->addWidget(separator(this));

    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(u(Form1Texts::Cancel), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(u(Form1Texts::Save), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);

    connect(RBhttp, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RBhttpClick();
    });
    connect(RBSocks, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RBSocksClick();
    });
    connect(httpport, &QLineEdit::textChanged, this, [this] { httpportChange(); });
    connect(heronport, &QLineEdit::textChanged, this, [this] { heronportChange(); });
    connect(ButtonHERONTest, &QPushButton::clicked, this, [this] { ButtonHERONTestClick(); });
    connect(ButtonHTTPTest, &QPushButton::clicked, this, [this] { ButtonHTTPTestClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    FormCreate();
}

void TForm1::FormCreate() {}

quint8 TForm1::FrameChecksum(const QByteArray &frame)
{
    unsigned sum = 0;
    for (int i = 0; i < frame.size(); ++i)
        if (i != 1)
            sum += static_cast<unsigned char>(frame[i]);
    return static_cast<quint8>((sum * 255u) & 0xFFu);
}

QByteArray TForm1::loginFrame()
{
    QByteArray frame;
    frame.append(char(LoginFrame::FrameSize));
    frame.append('\0');
    frame.append(char(LoginFrame::Type));
    frame.append(LoginFrame::literal());
    frame[1] = char(FrameChecksum(frame));
    return frame;
}

void TForm1::showMessage(const QString &text)
{
    m_messages.show(this, text);
}

// Both tests

void TForm1::runTest(QPushButton *button, const QString &portText, bool login)
{
    if (TBxProxyIP->text().isEmpty()) {
        showMessage(u(LoginTestTexts::NoProxyAddress));
        return;
    }
    button->setCursor(Qt::BusyCursor);
    const std::optional<quint16> proxyPort = portOf(TBxProxyPort->text());
    if (!proxyPort) {
        showMessage(u(LoginTestTexts::BadPort));
        button->unsetCursor();
        return;
    }
    const std::optional<quint16> port = portOf(portText);
    if (!port) {
        // The port boxes hold integers only; one beyond the port range
        // reaches no port at all.
        QApplication::beep();
        showMessage(u(LoginTestTexts::BadPort));
        button->unsetCursor();
        return;
    }
    ConnectionTest::Proxy proxy;
    proxy.http = RBhttp->isChecked();
    proxy.host = TBxProxyIP->text();
    proxy.port = *proxyPort;
    proxy.user = TBxName->text();
    proxy.password = TBxPasswort->text();
    const ConnectionTest::Target target{TBxDMCIP->text(), *port};
    const ConnectionTest::Result result =
        login ? ConnectionTest::heronLogin(proxy, target, loginFrame())
              : ConnectionTest::httpGet(proxy, target, Text8::fromQString(Edit1->text()));
    if (result.beep)
        QApplication::beep();
    showMessage(result.message);
    button->unsetCursor();
}

void TForm1::ButtonHERONTestClick()
{
    runTest(ButtonHERONTest, heronport->text(), true);
}

void TForm1::ButtonHTTPTestClick()
{
    runTest(ButtonHTTPTest, httpport->text(), false);
}

// Controls

void TForm1::RBhttpClick()
{
    TBxProxyPort->setText(u(Form1Texts::HttpProxyPort));
}

void TForm1::RBSocksClick()
{
    TBxProxyPort->setText(u(Form1Texts::SocksProxyPort));
}

void TForm1::normalisePort(QLineEdit *edit, const char *fallback)
{
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(edit->text()));
    const QString text = v ? QString::number(*v) : u(fallback);
    if (text != edit->text())
        edit->setText(text); // changes the text once more; then it stands
}

void TForm1::httpportChange()
{
    normalisePort(httpport, Form1Texts::HttpPortDefault);
}

void TForm1::heronportChange()
{
    normalisePort(heronport, Form1Texts::HeronPortDefault);
}

void TForm1::Panel1Click()
{
    showMessage(u(Form1Texts::InfoHead) + u(Form1Texts::DefaultServer) + u(Form1Texts::InfoTail));
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Panel1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        Panel1Click();
    return QDialog::eventFilter(watched, event);
}

void TForm1::Button1Click()
{
    done(1);
}

void TForm1::Button2Click()
{
    // A line break or a NUL would shift the lines of the file after it:
    // refused, the form stays open, nothing is written.
    for (QLineEdit *box : {TBxProxyIP, TBxProxyPort, TBxName, TBxPasswort, TBxDMCIP}) {
        if (!ConfigFormat::fitsOneLine(Text8::fromQString(box->text()))) {
            showMessage(u(LoginTestTexts::ProxyValueNotOneLine));
            box->setFocus();
            return;
        }
    }
    ProxyConfigFile::Values v;
    v.ProxyHost = Text8::fromQString(TBxProxyIP->text());
    v.ProxyPort = Text8::fromQString(TBxProxyPort->text());
    v.ProxyUser = Text8::fromQString(TBxName->text());
    v.ProxyPassword = Text8::fromQString(TBxPasswort->text());
    v.DestinationServer = Text8::fromQString(TBxDMCIP->text());
    v.UseProxy = CheckUseProxy->isChecked();
    v.Http = RBhttp->isChecked();
    QString reason;
    if (!ProxyConfigFile::write(v, m_proxyFile, &reason)) {
        // Nothing saved, the old file whole: the form stays open with what
        // was typed, for another try.
        showMessage(ProxyConfigFile::writeFailureMessage(m_proxyFile, reason));
        return;
    }
    done(1);
}

// Loading

void TForm1::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // The window is not mapped yet: it gets its final size (its contents)
    // and place (centred on the main window) now, so that the X server maps
    // it once where it stays and nothing resizes or moves it afterwards.
    if (QLayout *l = layout())
        l->activate();
    adjustSize();
    if (QWidget *owner = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->window()->frameGeometry().center());
        move(frame.topLeft());
    }
    FormActivate();
}

void TForm1::FormActivate()
{
    const std::optional<QByteArrayList> values = ViewerProxyFile::readValues(m_proxyFile);
    if (!values)
        return;
    const QByteArrayList &v = *values;
    auto text = [&](int pair) { return Text8::toQString(v[pair]); };
    const int n = int(v.size());
    if (n < 1)
        return;
    TBxProxyIP->setText(text(0));
    if (n < 2)
        return;
    const QString port = text(1);
    TBxProxyPort->setText(port);
    if (n < 3)
        return;
    TBxName->setText(text(2));
    if (n < 4)
        return;
    TBxPasswort->setText(text(3));
    // The destination in a guard of its own: empty or unreadable, the
    // built-in server.
    TBxDMCIP->setText(n >= 5 && !v[4].isEmpty() ? text(4) : u(Form1Texts::DefaultServer));
    if (n < 6)
        return;
    CheckUseProxy->setChecked(v[5] == "1");
    // The selection in a guard of its own: unreadable, HTTP.
    if (n >= 7 && Text8::upper(v[6]) == "SOCKS")
        RBSocks->setChecked(true);
    else
        RBhttp->setChecked(true);
    // Selecting a radio button put its own port there.
    TBxProxyPort->setText(port);
}
