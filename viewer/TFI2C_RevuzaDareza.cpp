#include "viewer/TFI2C_RevuzaDareza.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "platform/Shell.h"
#include "viewer/FernblickTexts.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString text(const QByteArray &bytes)
{
    return Text8::toQString(bytes);
}

void setColour(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

} // namespace

TFI2C_RevuzaDareza::TFI2C_RevuzaDareza(Clock &clock, Shell *shell, viewer::ConnectionTimings timings,
                                       QWidget *parent)
    : QMainWindow(parent)
    , m_clock(clock)
    , m_shell(shell)
    , m_timings(timings)
{
    if (!m_shell) {
        m_ownShell = std::make_unique<DesktopShell>();
        m_shell = m_ownShell.get();
    }
    setObjectName(QStringLiteral("FI2C_RevuzaDareza"));
    setWindowTitle(u(FernblickTexts::WindowCaption));
    buildControls();
    FormCreate();
}

TFI2C_RevuzaDareza::~TFI2C_RevuzaDareza()
{
    FormDestroy();
}

void TFI2C_RevuzaDareza::setForms(TFRemoteConfig *remoteConfig, TForm1 *form1)
{
    m_remoteConfig = remoteConfig;
    m_form1 = form1;
    // The forms' message windows carry the program's title, which Timer1
    // closes: each first gets a full interval. While Timer1 is kept off (the
    // connection-test form is open) it stays off.
    const auto beforeShow = [this, timer = QPointer<QTimer>(Timer1)] {
        if (timer && timer->isActive())
            restartTimer1();
    };
    if (m_remoteConfig)
        m_remoteConfig->messages().setBeforeShowHook(beforeShow);
    if (m_form1)
        m_form1->messages().setBeforeShowHook(beforeShow);
}

void TFI2C_RevuzaDareza::buildControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *layout = new QVBoxLayout(central);
    const QString valueHint = u(FernblickTexts::ValueHint);

    auto *values = new QGridLayout;
    const auto valueRow = [&](int row, const char *labelName, const char *caption, const char *editName,
                              QLineEdit *&edit, QLabel **limit, const char *limitName) {
        auto *label = new QLabel(u(caption), central);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setToolTip(valueHint);
        edit = new QLineEdit(central);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setReadOnly(true);
        edit->setToolTip(valueHint);
        edit->setFixedWidth(140);
        values->addWidget(label, row, 0);
        values->addWidget(edit, row, 1);
        if (limit) {
            *limit = new QLabel(central);
            (*limit)->setObjectName(QString::fromLatin1(limitName));
            (*limit)->setMinimumWidth(220);
            values->addWidget(*limit, row, 2);
        }
    };
    valueRow(0, "LabelTemp", FernblickTexts::LabelTemp, "EditT", EditT, &LabelTempMinMax, "LabelTempMinMax");
    valueRow(1, "LabelRH", FernblickTexts::LabelRH, "EditRH", EditRH, &LabelRHMinMax, "LabelRHMinMax");
    valueRow(2, "LabelTP", FernblickTexts::LabelTP, "EditTP", EditTP, &LabelTPMinMax, "LabelTPMinMax");
    valueRow(3, "LabelT_TP", FernblickTexts::LabelT_TP, "EditT_TP", EditT_TP, &LabelT_TPMinMax,
             "LabelT_TPMinMax");
    valueRow(4, "Label3", FernblickTexts::Label3, "EditCPUTEMP", EditCPUTEMP, &LabelTjunction, "LabelTjunction");
    layout->addLayout(values);

    const auto checkBox = [&](const char *name, const char *caption) {
        auto *box = new QCheckBox(u(caption), central);
        box->setObjectName(QString::fromLatin1(name));
        box->setEnabled(false);
        return box;
    };
    auto *inputs = new QGridLayout;
    RIStat = checkBox("RIStat", "");
    DCStat = checkBox("DCStat", "");
    for (QCheckBox *s : {RIStat, DCStat}) {
        // The background around the box shows the input's alarm colour.
        s->setAutoFillBackground(true);
        s->setFixedSize(24, 22);
        s->setContentsMargins(5, 3, 3, 3);
    }
    CheckRI = checkBox("CheckRI", FernblickTexts::CheckRI);
    CheckDC = checkBox("CheckDC", FernblickTexts::CheckDC);
    CheckRX = checkBox("CheckRX", FernblickTexts::CheckRX);
    CheckCTS = checkBox("CheckCTS", FernblickTexts::CheckCTS);
    CheckRX->setVisible(false);
    CheckCTS->setVisible(false);
    inputs->addWidget(RIStat, 0, 0);
    inputs->addWidget(CheckRI, 0, 1);
    inputs->addWidget(DCStat, 1, 0);
    inputs->addWidget(CheckDC, 1, 1);
    inputs->setColumnStretch(2, 1);
    layout->addLayout(inputs);

    const auto label = [&](const char *name, const QString &caption) {
        auto *l = new QLabel(caption, central);
        l->setObjectName(QString::fromLatin1(name));
        layout->addWidget(l);
        return l;
    };
    LabelLastConnection = label("LabelLastConnection", u(FernblickTexts::LastMeasurement));
    LastError = label("LastError", u(FernblickTexts::LastError));
    LastError->setWordWrap(true);
    LabelKennung = label("LabelKennung", u(FernblickTexts::LabelKennung));
    layout->addStretch(1);

    auto *serverRow = new QHBoxLayout;
    Label1 = new QLabel(u(FernblickTexts::Label1), central);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditServer = new QLineEdit(u(FernblickTexts::DefaultHost), central);
    EditServer->setObjectName(QStringLiteral("EditServer"));
    EditServer->setToolTip(u(FernblickTexts::ServerHint));
    serverRow->addWidget(Label1);
    serverRow->addWidget(EditServer, 1);
    layout->addLayout(serverRow);

    auto *buttons = new QHBoxLayout;
    const auto button = [&](const char *name, const char *caption) {
        auto *b = new QPushButton(u(caption), central);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    Button1 = button("Button1", FernblickTexts::Connect);
    Button3 = button("Button3", FernblickTexts::ActivityLog);
    Button2 = button("Button2", FernblickTexts::SensorConfig);
    Button4 = button("Button4", FernblickTexts::ProxyConfig);
    Button2->setEnabled(false);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });

    Listbox = new QPlainTextEdit(central);
    Listbox->setObjectName(QStringLiteral("Listbox"));
    Listbox->setReadOnly(true);
    Listbox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Listbox->setToolTip(u(FernblickTexts::ListboxHint));
    Listbox->setPlainText(QString());
    Listbox->setVisible(false);
    layout->addWidget(Listbox, 3);

    auto *footer = new QHBoxLayout;
    Label2 = new QLabel(u(FernblickTexts::WebAddress), central);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont linkFont = Label2->font();
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    Label2->setFont(linkFont);
    setColour(Label2, QPalette::WindowText, Qt::blue);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->installEventFilter(this);
    VersionsLabel = new QLabel(u(FernblickTexts::Version), central);
    VersionsLabel->setObjectName(QStringLiteral("VersionsLabel"));
    VersionsLabel->setToolTip(valueHint);
    footer->addWidget(Label2);
    footer->addStretch(1);
    footer->addWidget(VersionsLabel);
    layout->addLayout(footer);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

void TFI2C_RevuzaDareza::FormCreate()
{
    {
        QMutexLocker lock(&m_state.ConfigSection);
        m_state.StationIdLocked = true;
    }
    Listbox->clear();
    StatusLineCount = 0;
    m_state.ConfigSendRequested = false;
    ConnectionLost = false;
    m_state.ConfigState = 0;
    for (QLabel *l : {LabelTempMinMax, LabelRHMinMax, LabelTPMinMax, LabelT_TPMinMax})
        l->clear();
    m_port = 2002;
}

void TFI2C_RevuzaDareza::FormDestroy()
{
    // Every connection answers "BREAK" at the end of its next message; give
    // them time for it, with window messages (their hand-overs) served.
    for (auto &t : m_threads)
        t->requestDisconnect();
    for (int i = 0; i < 1001 && !m_threads.empty(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        m_clock.sleep(5);
        std::erase_if(m_threads, [](const auto &t) { return t->isFinished(); });
    }
    if (!m_threads.empty())
        m_clock.sleep(500);
    // Whatever still runs is cut off: no hand-over is taken any more, the
    // sockets are dropped and the threads joined.
    m_handover.close();
    for (auto &t : m_threads)
        t->requestClose();
    m_threads.clear();
    ConnectionThread = nullptr;
}

void TFI2C_RevuzaDareza::restartTimer1()
{
    Timer1->stop();
    m_clock.sleep(50);
    Timer1->start();
}

void TFI2C_RevuzaDareza::showNotConnected()
{
    Button1->setText(u(FernblickTexts::Connect));
    Button2->setEnabled(false);
    EditServer->setEnabled(true);
    EditServer->setReadOnly(false);
    Button4->setEnabled(true);
}

void TFI2C_RevuzaDareza::Button1Click()
{
    if (Button1->text() != u(FernblickTexts::Connect)) {
        if (ConnectionThread)
            ConnectionThread->requestDisconnect();
        m_clock.sleep(500);
        showNotConnected();
        return;
    }

    Button4->setEnabled(false);
    ConnectionLost = false;
    m_state.ConfigSendRequested = false;
    Button1->setText(u(FernblickTexts::Disconnect));
    Button2->setEnabled(true);
    EditServer->setEnabled(false);
    EditServer->setReadOnly(true);

    QString portText = QString::fromLatin1(FernblickTexts::DefaultPort);
    QString host = EditServer->text();
    const qsizetype colon = host.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        portText = host.mid(colon + 1);
        host = host.left(colon);
    }
    const std::optional<qint32> port = ConfigFormat::toInteger(Text8::fromQString(portText));
    if (port && *port > 0 && *port <= 65535)
        m_port = quint16(*port);

    if (host.isEmpty()) {
        // No host: the socket cannot be opened; the thread is not started.
        restartTimer1();
        QMessageBox::warning(this, u(FernblickTexts::AppTitle), u(FernblickTexts::Unreachable));
        return;
    }

    const quint64 number = ++m_connections;
    m_currentConnection = number;
    viewer::ConnectionContext context{m_state, *this, m_handover, m_clock, ConnectionLost, m_currentConnection,
                                      m_timings};
    auto thread = std::make_unique<viewer::MyClientConnectThread>(context, number, host, m_port);
    viewer::MyClientConnectThread *t = thread.get();
    connect(t, &QThread::finished, this, [this, t] { releaseThread(t); }, Qt::QueuedConnection);
    m_threads.push_back(std::move(thread));
    ConnectionThread = t;
    t->start();
}

void TFI2C_RevuzaDareza::releaseThread(viewer::MyClientConnectThread *thread)
{
    if (ConnectionThread == thread)
        ConnectionThread = nullptr;
    std::erase_if(m_threads, [thread](const auto &t) { return t.get() == thread; });
}

void TFI2C_RevuzaDareza::Button2Click()
{
    if (!m_remoteConfig)
        return;
    m_state.ConfigState = 1;
    do {
        m_remoteConfig->clearInputRejected();
        m_remoteConfig->exec();
    } while (m_remoteConfig->InputRejected());
    // Closed with OK: its values go out. Cancelled with nothing pending: the
    // window follows the station again.
    m_state.ConfigState = m_state.ConfigSendRequested ? 2 : 0;
}

void TFI2C_RevuzaDareza::Button3Click()
{
    Listbox->setVisible(!Listbox->isVisible());
}

void TFI2C_RevuzaDareza::Button4Click()
{
    Timer1->stop();
    if (m_form1)
        m_form1->exec();
    Timer1->start();
}

void TFI2C_RevuzaDareza::Label2DblClick()
{
    m_shell->open(Label2->text(), QString(), QString(), Shell::Show::Normal);
}

bool TFI2C_RevuzaDareza::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label2 && event->type() == QEvent::MouseButtonDblClick) {
        Label2DblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFI2C_RevuzaDareza::Timer1Timer()
{
    Timer1->stop();
    if (ConnectionLost.exchange(false)) {
        appendStatus(Text8::cp(FernblickTexts::ConnectionLost));
        if (ConnectionThread)
            ConnectionThread->requestClose();
        showNotConnected();
    }
    if (QWidget *w = FindOwnDialogWindow(u(FernblickTexts::AppTitle)))
        QMetaObject::invokeMethod(w, &QWidget::close, Qt::QueuedConnection);
    Timer1->start();
}

QWidget *TFI2C_RevuzaDareza::FindOwnDialogWindow(const QString &title) const
{
    const QString wanted = title.toUpper();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == this || !w->parentWidget() || !w->isVisible())
            continue;
        if (w->windowTitle().left(255).toUpper() == wanted)
            return w;
    }
    return nullptr;
}

void TFI2C_RevuzaDareza::AppendStatusLine()
{
    Listbox->appendPlainText(text(StatusText));
    Listbox->ensureCursorVisible();
    ++StatusLineCount;
    if (StatusLineCount > 1000) {
        StatusLineCount = 0;
        Listbox->clear();
        Listbox->ensureCursorVisible();
    }
}

void TFI2C_RevuzaDareza::appendStatus(const QByteArray &line)
{
    StatusText = line;
    AppendStatusLine();
}

void TFI2C_RevuzaDareza::setLastMeasurement(const QByteArray &caption)
{
    LabelLastConnection->setText(text(caption));
}

void TFI2C_RevuzaDareza::showValue(Value box, const QByteArray &shown, ColourState colour)
{
    QLineEdit *edit = box == Value::T ? EditT : box == Value::RH ? EditRH : box == Value::TP ? EditTP : EditT_TP;
    setColour(edit, QPalette::Text, colourOf(colour));
    edit->setText(text(shown));
}

void TFI2C_RevuzaDareza::clearValues()
{
    for (QLineEdit *e : {EditT, EditRH, EditTP, EditT_TP})
        e->clear();
}

void TFI2C_RevuzaDareza::showCpu(const QByteArray &shown, bool red, bool notANumber)
{
    setColour(EditCPUTEMP, QPalette::Text, red ? Colours::Red : Colours::Green);
    if (notANumber) {
        setColour(EditCPUTEMP, QPalette::Base, Colours::Silver);
        setColour(EditCPUTEMP, QPalette::Text, Colours::Black);
    }
    EditCPUTEMP->setText(text(shown));
}

void TFI2C_RevuzaDareza::setJunction(const QByteArray &caption)
{
    LabelTjunction->setText(text(caption));
}

void TFI2C_RevuzaDareza::setLimitLabel(Limit label, const QByteArray &caption)
{
    QLabel *l = label == Limit::Temp ? LabelTempMinMax
                : label == Limit::RH ? LabelRHMinMax
                : label == Limit::TP ? LabelTPMinMax
                                     : LabelT_TPMinMax;
    l->setText(text(caption));
}

QCheckBox *TFI2C_RevuzaDareza::contactBox(Contact box) const
{
    switch (box) {
    case Contact::RIStat:
        return RIStat;
    case Contact::CheckRI:
        return CheckRI;
    case Contact::CheckDC:
        return CheckDC;
    case Contact::DCStat:
        return DCStat;
    }
    return RIStat;
}

void TFI2C_RevuzaDareza::setContact(Contact box, bool checked)
{
    contactBox(box)->setChecked(checked);
}

bool TFI2C_RevuzaDareza::contact(Contact box) const
{
    return contactBox(box)->isChecked();
}

void TFI2C_RevuzaDareza::setInputColour(int input, const QColor &colour)
{
    QCheckBox *box = input == 1 ? RIStat : DCStat;
    // The style draws the background only when told by a style sheet.
    box->setStyleSheet(QStringLiteral("QCheckBox { background-color: %1; }").arg(colour.name()));
    setColour(box, QPalette::Window, colour);
}

void TFI2C_RevuzaDareza::setKennung(const QByteArray &caption)
{
    LabelKennung->setText(text(caption));
}

void TFI2C_RevuzaDareza::setLastError(const QByteArray &caption, bool red)
{
    setColour(LastError, QPalette::WindowText, red ? Colours::Red : Colours::Black);
    LastError->setText(text(caption));
}

QCheckBox *TFI2C_RevuzaDareza::modifyKennungBox() const
{
    return m_remoteConfig ? m_remoteConfig->findChild<QCheckBox *>(QStringLiteral("ModifyKennung")) : nullptr;
}

void TFI2C_RevuzaDareza::setModifyKennung(bool checked)
{
    if (QCheckBox *box = modifyKennungBox())
        box->setChecked(checked);
}

bool TFI2C_RevuzaDareza::modifyKennung() const
{
    if (QCheckBox *box = modifyKennungBox())
        return box->isChecked();
    // Without the dialog's box the identifier's own state tells.
    QMutexLocker lock(&const_cast<RemoteStationState &>(m_state).ConfigSection);
    return !m_state.StationIdLocked;
}

void TFI2C_RevuzaDareza::showSocketError(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Critical, u(FernblickTexts::AppTitle), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

ContactChecks TFI2C_RevuzaDareza::contactChecks() const
{
    return {CheckRX->isChecked(), CheckRI->isChecked(), CheckDC->isChecked(), CheckCTS->isChecked()};
}

void TFI2C_RevuzaDareza::setContactChecks(const ContactChecks &checks)
{
    CheckRX->setChecked(checks.rx);
    CheckRI->setChecked(checks.ri);
    CheckDC->setChecked(checks.dc);
    CheckCTS->setChecked(checks.cts);
}
