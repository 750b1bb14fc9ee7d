#include "gui/TFConfigProxyZugang.h"

#include "common/Text8.h"
#include "reporting/ProxyDialogTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace ProxyDialogTexts;

namespace {

QString text(const char *utf8)
{
    return Text8::toQString(Text8::cp(utf8));
}

template <class W> W *named(W *widget, const char *name, const char *hint)
{
    widget->setObjectName(QString::fromLatin1(name));
    if (hint)
        widget->setToolTip(text(hint));
    return widget;
}

QPushButton *makeButton(const char *name, const char *caption, const char *hint, QWidget *parent)
{
    auto *button = named(new QPushButton(text(caption), parent), name, hint);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TFConfigProxyZugang::TFConfigProxyZugang(StationConfig &config, QWidget *parent)
    : QDialog(parent)
    , m_logic(config)
{
    setObjectName(QStringLiteral("FConfigProxyZugang"));
    setWindowTitle(text(Caption));

    TBxProxyIP = named(new QLineEdit(this), "TBxProxyIP", HintHost);
    TBxProxyPort = named(new QLineEdit(text(DefaultPort), this), "TBxProxyPort", HintPort);
    useproxy = named(new QCheckBox(text(UseProxy), this), "useproxy", HintUseProxy);
    TBxName = named(new QLineEdit(this), "TBxName", HintUser);
    TBxPasswort = named(new QLineEdit(this), "TBxPasswort", HintPassword); // plain: it shows the mask
    RBhttp = named(new QRadioButton(text(Http), this), "RBhttp", HintHttp);
    RBSocks = named(new QRadioButton(text(Socks), this), "RBSocks", HintSocks);
    RBSocks->setChecked(true);
    Button1 = makeButton("Button1", Cancel, HintCancel, this);
    ButtonProxyTest = makeButton("ButtonProxyTest", Test, HintTest, this);
    ButtonProxyTest->setEnabled(false);
    Button2 = makeButton("Button2", Save, HintSave, this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(4000);

    const auto label = [this](QLabel *&l, const char *name, const char *caption, QWidget *buddy) {
        l = new QLabel(text(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setBuddy(buddy);
        return l;
    };
    auto *grid = new QGridLayout;
    grid->addWidget(label(Label1, "Label1", LabelHost, TBxProxyIP), 0, 0);
    grid->addWidget(label(Label2, "Label2", LabelPort, TBxProxyPort), 0, 1);
    grid->addWidget(TBxProxyIP, 1, 0);
    grid->addWidget(TBxProxyPort, 1, 1);
    grid->addWidget(label(Label3, "Label3", LabelUser, TBxName), 2, 0);
    grid->addWidget(label(Label4, "Label4", LabelPassword, TBxPasswort), 2, 1);
    grid->addWidget(TBxName, 3, 0);
    grid->addWidget(TBxPasswort, 3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    auto *choice = new QHBoxLayout;
    choice->addWidget(useproxy);
    choice->addStretch();
    choice->addWidget(RBhttp);
    choice->addWidget(RBSocks);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(ButtonProxyTest);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(choice);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TFConfigProxyZugang::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFConfigProxyZugang::Button2Click);
    connect(ButtonProxyTest, &QPushButton::clicked, this, &TFConfigProxyZugang::ButtonProxyTestClick);
    connect(useproxy, &QCheckBox::clicked, this, &TFConfigProxyZugang::useproxyClick);
    connect(TBxPasswort, &QLineEdit::textChanged, this, &TFConfigProxyZugang::TBxPasswortChange);
    connect(Timer1, &QTimer::timeout, this, &TFConfigProxyZugang::Timer1Timer);
    TBxPasswort->installEventFilter(this);
}

TFConfigProxyZugang::~TFConfigProxyZugang()
{
    FormDestroy();
}

void TFConfigProxyZugang::mainTimer(bool on)
{
    if (!MainTimer1)
        return;
    if (on)
        MainTimer1->start();
    else
        MainTimer1->stop();
}

ProxyDialogFields TFConfigProxyZugang::fields() const
{
    ProxyDialogFields f;
    f.ProxyHost = Text8::fromQString(TBxProxyIP->text());
    f.ProxyPort = Text8::fromQString(TBxProxyPort->text());
    f.User = Text8::fromQString(TBxName->text());
    f.PasswordBox = Text8::fromQString(TBxPasswort->text());
    f.UseProxy = useproxy->isChecked();
    f.Http = RBhttp->isChecked();
    return f;
}

void TFConfigProxyZugang::setPasswordBox(const QByteArray &bytes)
{
    TBxPasswort->setText(Text8::toQString(bytes)); // runs TBxPasswortChange
}

void TFConfigProxyZugang::FormActivate()
{
    mainTimer(false);
    Timer1->start();
    const ProxyDialogFields f = m_logic.activate();
    TBxProxyIP->setText(Text8::toQString(f.ProxyHost));
    TBxProxyPort->setText(Text8::toQString(f.ProxyPort));
    TBxName->setText(Text8::toQString(f.User));
    setPasswordBox(f.PasswordBox);
    if (f.Http)
        RBhttp->setChecked(true);
    else
        RBSocks->setChecked(true);
    useproxy->setChecked(f.UseProxy);
    ButtonProxyTest->setEnabled(useproxy->isChecked());
    mainTimer(false);
}

void TFConfigProxyZugang::FormClose()
{
    mainTimer(true);
    Timer1->stop();
}

void TFConfigProxyZugang::FormDestroy()
{
    mainTimer(true);
}

bool TFConfigProxyZugang::checked()
{
    using Check = ProxyDialogLogic::Check;
    const Check c = m_logic.check(fields());
    if (c == Check::Ok)
        return true;
    m_notices->show(ProxyDialogLogic::message(c));
    QLineEdit *box = TBxProxyPort;
    if (c == Check::NoHost || c == Check::HostNotOneLine)
        box = TBxProxyIP;
    else if (c == Check::UserNotOneLine)
        box = TBxName;
    else if (c == Check::PasswordNotOneLine)
        box = TBxPasswort;
    box->setFocus();
    return false;
}

bool TFConfigProxyZugang::saved(const ProxyDialogFields &f)
{
    QByteArray failure;
    if (m_logic.save(f, &failure))
        return true;
    // Shown like the dialog's other boxes: the supervision timer stays off
    // while the dialog is open, so nothing closes the box unanswered.
    m_notices->show(failure);
    return false;
}

void TFConfigProxyZugang::Button1Click()
{
    done(1);
}

void TFConfigProxyZugang::Button2Click()
{
    if (!checked())
        return;
    if (!saved(fields()))
        return; // the typed values stay for another try
    done(1);
}

void TFConfigProxyZugang::ButtonProxyTestClick()
{
    if (!checked())
        return;
    const ProxyDialogFields f = fields();
    // Settings that are neither in the file nor in force are not tested:
    // an "ALLES OK" would read as if the station now reported through them.
    if (!saved(f))
        return;
    Button1->setCursor(Qt::WaitCursor);
    const QByteArray result = m_logic.connectionTest(f);
    Button1->unsetCursor();
    m_notices->show(result);
}

void TFConfigProxyZugang::useproxyClick()
{
    ButtonProxyTest->setEnabled(useproxy->isChecked());
}

void TFConfigProxyZugang::TBxPasswortChange()
{
    if (isVisible())
        Timer1->start(); // fires 4000 ms after the last change
    m_logic.passwordChanged(Text8::fromQString(TBxPasswort->text()));
}

void TFConfigProxyZugang::TBxPasswortExit()
{
    if (const auto shown = m_logic.passwordExit(Text8::fromQString(TBxPasswort->text())))
        setPasswordBox(*shown);
}

void TFConfigProxyZugang::Timer1Timer()
{
    const QByteArray box = Text8::fromQString(TBxPasswort->text());
    if (const auto shown = m_logic.maskTimer(box))
        setPasswordBox(*shown);
}

void TFConfigProxyZugang::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormActivate();
}

void TFConfigProxyZugang::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormClose();
}

bool TFConfigProxyZugang::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TBxPasswort && event->type() == QEvent::FocusOut && isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            TBxPasswortExit();
    }
    return QDialog::eventFilter(watched, event);
}
