#include "gui/TFConfig.h"

#include "common/Text8.h"
#include "gui/TFConfigTexts.h"
#include "gui/TFR2U_Radadu.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString text(const char *utf8)
{
    return Text8::toQString(Text8::cp(utf8));
}

QLabel *makeLabel(const char *caption, QWidget *parent, bool bold = false)
{
    auto *label = new QLabel(text(caption), parent);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

QLineEdit *makeEdit(const char *name, const char *hint, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    if (hint)
        edit->setToolTip(text(hint));
    return edit;
}

QCheckBox *makeCheckBox(const char *name, const char *caption, const char *hint, QWidget *parent)
{
    auto *box = new QCheckBox(caption ? text(caption) : QString(), parent);
    box->setObjectName(QString::fromLatin1(name));
    if (hint)
        box->setToolTip(text(hint));
    return box;
}

QComboBox *makeCombo(const char *name, const char *hint, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    if (hint)
        combo->setToolTip(text(hint));
    return combo;
}

QPushButton *makeButton(const char *name, const char *caption, const char *hint, QWidget *parent)
{
    auto *button = new QPushButton(text(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    if (hint)
        button->setToolTip(text(hint));
    return button;
}

} // namespace

TFConfig::TFConfig(TFR2U_Radadu &mainWindow, QWidget *parent)
    : QDialog(parent)
    , m_main(mainWindow)
    , m_settings(mainWindow.core(), mainWindow, *this, mainWindow.startup().CaptionPrefix)
{
    setObjectName(QStringLiteral("FConfig"));
    setWindowTitle(text(TFConfigTexts::Caption));
    // Only a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, MoneyGreen);
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);

    Label1 = makeLabel(TFConfigTexts::Label1, this, true);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    layout->addWidget(Label1);

    // Minimum left, maximum right of each row label.
    auto *thresholds = new QGridLayout;
    const struct
    {
        const char *label;
        QLineEdit **min;
        const char *minName;
        QLineEdit **max;
        const char *maxName;
    } rows[] = {
        {TFConfigTexts::RowTemp, &EditTmin, "EditTmin", &EditTmax, "EditTmax"},
        {TFConfigTexts::RowRH, &EditRHmin, "EditRHmin", &EditRHmax, "EditRHmax"},
        {TFConfigTexts::RowTP, &EditTPmin, "EditTPmin", &EditTPmax, "EditTPmax"},
        {TFConfigTexts::RowT_TP, &EditT_TPmin, "EditT_TPmin", &EditT_TPmax, "EditT_TPmax"},
    };
    int row = 0;
    for (const auto &r : rows) {
        *r.min = makeEdit(r.minName, TFConfigTexts::ThresholdHint, this);
        *r.max = makeEdit(r.maxName, TFConfigTexts::ThresholdHint, this);
        auto *label = makeLabel(r.label, this);
        label->setAlignment(Qt::AlignCenter);
        thresholds->addWidget(*r.min, row, 0);
        thresholds->addWidget(label, row, 1);
        thresholds->addWidget(*r.max, row, 2);
        ++row;
    }
    thresholds->setColumnStretch(1, 1);
    layout->addLayout(thresholds);

    auto *inputs = new QGridLayout;
    inputs->addWidget(makeLabel(TFConfigTexts::InputsLabel, this, true), 0, 0);
    inputs->addWidget(makeLabel(TFConfigTexts::InputsTypeLabel, this), 0, 1);
    CheckRI = makeCheckBox("CheckRI", TFConfigTexts::CheckRI, TFConfigTexts::InputsHint, this);
    CheckDC = makeCheckBox("CheckDC", TFConfigTexts::CheckDC, TFConfigTexts::InputsHint, this);
    CheckRx = makeCheckBox("CheckRx", nullptr, nullptr, this);
    CheckCts = makeCheckBox("CheckCts", nullptr, nullptr, this);
    CheckRx->setVisible(false);
    CheckCts->setVisible(false);
    inputs->addWidget(CheckRI, 1, 0);
    inputs->addWidget(CheckDC, 1, 1);
    inputs->addWidget(CheckRx, 2, 0);
    inputs->addWidget(CheckCts, 2, 1);
    layout->addLayout(inputs);

    auto *cpu = new QHBoxLayout;
    EditCPUMAXTemp = makeEdit("EditCPUMAXTemp", TFConfigTexts::CpuHint, this);
    EditCPUMAXTemp->setMaximumWidth(60);
    cpu->addWidget(makeLabel(TFConfigTexts::CpuLabel, this));
    cpu->addWidget(EditCPUMAXTemp);
    cpu->addStretch();
    layout->addLayout(cpu);

    auto *port = new QHBoxLayout;
    ComSelectComboBox1 = makeCombo("ComSelectComboBox1", TFConfigTexts::PortHint, this);
    port->addWidget(makeLabel(TFConfigTexts::PortLabel, this, true));
    port->addWidget(ComSelectComboBox1);
    port->addStretch();
    layout->addLayout(port);

    auto *interval = new QHBoxLayout;
    EditAlarmintervall = makeEdit("EditAlarmintervall", TFConfigTexts::IntervalHint, this);
    EditAlarmintervall->setText(text(TFConfigTexts::IntervalInitial));
    EditAlarmintervall->setMaximumWidth(40);
    interval->addWidget(makeLabel(TFConfigTexts::IntervalLabel, this));
    interval->addWidget(EditAlarmintervall);
    interval->addWidget(makeLabel(TFConfigTexts::IntervalUnit, this));
    interval->addStretch();
    layout->addLayout(interval);

    auto *ident = new QGridLayout;
    EditKennung = makeEdit("EditKennung", TFConfigTexts::KennungHint, this);
    EditKennung->setAutoFillBackground(true);
    CheckBox1 = makeCheckBox("CheckBox1", TFConfigTexts::CheckBox1, TFConfigTexts::CheckBox1Hint, this);
    EditHeronserver = makeCombo("EditHeronserver", TFConfigTexts::ServerHint, this);
    EditHeronserver->setMinimumContentsLength(24);
    ident->addWidget(makeLabel(TFConfigTexts::KennungLabel, this), 0, 0);
    ident->addWidget(EditKennung, 0, 1);
    ident->addWidget(CheckBox1, 0, 2);
    ident->addWidget(makeLabel(TFConfigTexts::ServerLabel, this), 1, 0);
    ident->addWidget(EditHeronserver, 1, 1, 1, 2);
    layout->addLayout(ident);

    auto *buttons = new QHBoxLayout;
    Button2 = makeButton("Button2", TFConfigTexts::Button2, nullptr, this);
    Button1 = makeButton("Button1", TFConfigTexts::Button1, TFConfigTexts::Button1Hint, this);
    CancelButton =
        makeButton("CancelButton", TFConfigTexts::CancelButton, TFConfigTexts::CancelButtonHint, this);
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);

    // Leaving a field is its exit; the port box's focus runs its timer.
    for (QWidget *w : {static_cast<QWidget *>(EditTmin), static_cast<QWidget *>(EditTmax),
                       static_cast<QWidget *>(EditTPmin), static_cast<QWidget *>(EditTPmax),
                       static_cast<QWidget *>(EditT_TPmin), static_cast<QWidget *>(EditT_TPmax),
                       static_cast<QWidget *>(EditRHmin), static_cast<QWidget *>(EditRHmax),
                       static_cast<QWidget *>(EditKennung), static_cast<QWidget *>(EditHeronserver),
                       static_cast<QWidget *>(EditAlarmintervall), static_cast<QWidget *>(EditCPUMAXTemp),
                       static_cast<QWidget *>(ComSelectComboBox1)})
        w->installEventFilter(this);

    connect(Button1, &QPushButton::clicked, this, &TFConfig::Button1Click);
    connect(CancelButton, &QPushButton::clicked, this, &TFConfig::CancelButtonClick);
    connect(Button2, &QPushButton::clicked, this, &TFConfig::Button2Click);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFConfig::CheckBox1Click);
    connect(ComSelectComboBox1, &QComboBox::activated, this, &TFConfig::ComSelectComboBox1Change);
    connect(ComSelectComboBox1->lineEdit(), &QLineEdit::textEdited, this,
            &TFConfig::ComSelectComboBox1Change);
    connect(Timer1, &QTimer::timeout, this, &TFConfig::Timer1Timer);

    setIdentifierWritable(true);
    m_main.DialogPortList = ComSelectComboBox1;
    m_main.FConfig = this;
    FormCreate();
}

TFConfig::~TFConfig()
{
    if (m_main.FConfig == this)
        m_main.FConfig = nullptr;
    if (m_main.ConfigDialogWindow == this)
        m_main.ConfigDialogWindow = nullptr;
}

// Handlers

void TFConfig::EditTminExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::Tmin, Sender);
}
void TFConfig::EditTmaxExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::Tmax, Sender);
}
void TFConfig::EditTPminExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::TPmin, Sender);
}
void TFConfig::EditTPmaxExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::TPmax, Sender);
}
void TFConfig::EditT_TPminExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::T_TPmin, Sender);
}
void TFConfig::EditT_TPmaxExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::T_TPmax, Sender);
}
void TFConfig::EditRHminExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::RHmin, Sender);
}
void TFConfig::EditRHmaxExit(QObject *Sender)
{
    m_settings.thresholdExit(ConfigField::RHmax, Sender);
}
void TFConfig::EditKennungExit(QObject *Sender)
{
    m_settings.kennungExit(Sender);
}
void TFConfig::EditHeronserverExit(QObject *Sender)
{
    m_settings.heronserverExit(Sender);
}
void TFConfig::EditAlarmintervallExit(QObject *Sender)
{
    m_settings.alarmintervallExit(Sender);
}
void TFConfig::EditCPUMAXTempExit(QObject *Sender)
{
    m_settings.cpuMaxTempExit(Sender);
}

void TFConfig::FormCreate()
{
    m_settings.formCreate();
}

void TFConfig::FormActivate()
{
    m_settings.formActivate();
}

void TFConfig::FormDeactivate(QObject *Sender)
{
    m_settings.formDeactivate(Sender);
}

void TFConfig::Button1Click()
{
    if (!m_settings.okClick())
        return;
    done(1); // hiding the dialog runs the save
}

void TFConfig::CancelButtonClick()
{
    m_settings.cancelClick();
    done(1);
}

void TFConfig::Button2Click()
{
    if (FConfigProxyZugang)
        FConfigProxyZugang->exec();
}

void TFConfig::CheckBox1Click()
{
    m_settings.checkBox1Click();
}

void TFConfig::ComSelectComboBox1Change()
{
    m_settings.comSelectChange();
}

void TFConfig::ComSelectComboBox1Enter()
{
    Timer1->start();
}

void TFConfig::ComSelectComboBox1Exit()
{
    Timer1->stop();
}

void TFConfig::Timer1Timer()
{
    Timer1->stop();
    m_main.EnumCOMPorts();
    if (ComSelectComboBox1->view()->isVisible()) {
        // Closed and opened again, the list shows the new entries.
        ComSelectComboBox1->hidePopup();
        ComSelectComboBox1->showPopup();
    }
    Timer1->start();
}

// Remote configuration

void TFConfig::RemoteSetTmin(const QByteArray &value)
{
    m_settings.remoteSet(1, value);
}
void TFConfig::RemoteSetTmax(const QByteArray &value)
{
    m_settings.remoteSet(2, value);
}
void TFConfig::RemoteSetTPmin(const QByteArray &value)
{
    m_settings.remoteSet(3, value);
}
void TFConfig::RemoteSetTPmax(const QByteArray &value)
{
    m_settings.remoteSet(4, value);
}
void TFConfig::RemoteSetT_TPmin(const QByteArray &value)
{
    m_settings.remoteSet(5, value);
}
void TFConfig::RemoteSetT_TPmax(const QByteArray &value)
{
    m_settings.remoteSet(6, value);
}
void TFConfig::RemoteSetRHmin(const QByteArray &value)
{
    m_settings.remoteSet(7, value);
}
void TFConfig::RemoteSetRHmax(const QByteArray &value)
{
    m_settings.remoteSet(8, value);
}
void TFConfig::RemoteSetRx(const QByteArray &value)
{
    m_settings.remoteSet(9, value);
}
void TFConfig::RemoteSetRI(const QByteArray &value)
{
    m_settings.remoteSet(10, value);
}
void TFConfig::RemoteSetDC(const QByteArray &value)
{
    m_settings.remoteSet(11, value);
}
void TFConfig::RemoteSetCts(const QByteArray &value)
{
    m_settings.remoteSet(12, value);
}
void TFConfig::RemoteSetKennung(const QByteArray &value)
{
    m_settings.remoteSet(13, value);
}
void TFConfig::RemoteSetHeronserver(const QByteArray &value)
{
    m_settings.remoteSet(14, value);
}
void TFConfig::RemoteSetComPort(const QByteArray &value)
{
    m_settings.remoteSet(15, value);
}
void TFConfig::RemoteSetAlarmintervall(const QByteArray &value)
{
    m_settings.remoteSet(16, value);
}
void TFConfig::RemoteSetCPUMAXTemp(const QByteArray &value)
{
    m_settings.remoteSet(17, value);
}
void TFConfig::RemoteApply()
{
    m_settings.remoteApply();
}

// Activation and deactivation

void TFConfig::showEvent(QShowEvent *event)
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

void TFConfig::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormDeactivate(this);
}

bool TFConfig::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && watched == ComSelectComboBox1) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            ComSelectComboBox1Enter();
    } else if (event->type() == QEvent::FocusOut && isVisible()) {
        // Focus that moves to a message box or a drop-down list, or leaves
        // with the window, does not leave the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            fieldExit(watched);
    }
    return QDialog::eventFilter(watched, event);
}

void TFConfig::fieldExit(QObject *control)
{
    using Handler = void (TFConfig::*)(QObject *);
    const struct
    {
        QObject *control;
        Handler handler;
    } exits[] = {
        {EditTmin, &TFConfig::EditTminExit},
        {EditTmax, &TFConfig::EditTmaxExit},
        {EditTPmin, &TFConfig::EditTPminExit},
        {EditTPmax, &TFConfig::EditTPmaxExit},
        {EditT_TPmin, &TFConfig::EditT_TPminExit},
        {EditT_TPmax, &TFConfig::EditT_TPmaxExit},
        {EditRHmin, &TFConfig::EditRHminExit},
        {EditRHmax, &TFConfig::EditRHmaxExit},
        {EditKennung, &TFConfig::EditKennungExit},
        {EditHeronserver, &TFConfig::EditHeronserverExit},
        {EditAlarmintervall, &TFConfig::EditAlarmintervallExit},
        {EditCPUMAXTemp, &TFConfig::EditCPUMAXTempExit},
    };
    if (control == ComSelectComboBox1) {
        ComSelectComboBox1Exit();
        return;
    }
    for (const auto &e : exits)
        if (e.control == control) {
            (this->*e.handler)(control);
            return;
        }
}

// ConfigDialogView

QWidget *TFConfig::fieldWidget(ConfigField field) const
{
    switch (field) {
    case ConfigField::Tmin:
        return EditTmin;
    case ConfigField::Tmax:
        return EditTmax;
    case ConfigField::TPmin:
        return EditTPmin;
    case ConfigField::TPmax:
        return EditTPmax;
    case ConfigField::T_TPmin:
        return EditT_TPmin;
    case ConfigField::T_TPmax:
        return EditT_TPmax;
    case ConfigField::RHmin:
        return EditRHmin;
    case ConfigField::RHmax:
        return EditRHmax;
    case ConfigField::Kennung:
        return EditKennung;
    case ConfigField::Heronserver:
        return EditHeronserver;
    case ConfigField::Alarmintervall:
        return EditAlarmintervall;
    case ConfigField::CPUMAXTemp:
        return EditCPUMAXTemp;
    case ConfigField::ComPort:
        return ComSelectComboBox1;
    }
    return EditTmin;
}

QCheckBox *TFConfig::flagBox(ConfigFlag flag) const
{
    switch (flag) {
    case ConfigFlag::Rx:
        return CheckRx;
    case ConfigFlag::RI:
        return CheckRI;
    case ConfigFlag::DC:
        return CheckDC;
    case ConfigFlag::Cts:
        return CheckCts;
    case ConfigFlag::ManualId:
        return CheckBox1;
    }
    return CheckRx;
}

QByteArray TFConfig::fieldText(ConfigField field) const
{
    QWidget *w = fieldWidget(field);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return Text8::fromQString(combo->currentText());
    return Text8::fromQString(static_cast<QLineEdit *>(w)->text());
}

void TFConfig::setFieldText(ConfigField field, const QByteArray &value)
{
    QWidget *w = fieldWidget(field);
    const QSignalBlocker blocker(w);
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        const QSignalBlocker editBlocker(combo->lineEdit());
        combo->setEditText(Text8::toQString(value));
    } else {
        static_cast<QLineEdit *>(w)->setText(Text8::toQString(value));
    }
}

void TFConfig::focusField(ConfigField field)
{
    fieldWidget(field)->setFocus(Qt::OtherFocusReason);
}

bool TFConfig::flag(ConfigFlag flag) const
{
    return flagBox(flag)->isChecked();
}

void TFConfig::setFlag(ConfigFlag flag, bool checked)
{
    QCheckBox *box = flagBox(flag);
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

void TFConfig::setIdentifierWritable(bool writable)
{
    EditKennung->setReadOnly(!writable);
    QPalette p = EditKennung->palette();
    p.setColor(QPalette::Base, writable ? CaptionText : InactiveCaptionText);
    p.setColor(QPalette::Text, Qt::black);
    EditKennung->setPalette(p);
}

void TFConfig::setServerPresets(const QList<QByteArray> &entries)
{
    const QSignalBlocker blocker(EditHeronserver);
    const QString current = EditHeronserver->currentText();
    EditHeronserver->clear();
    for (const QByteArray &e : entries)
        EditHeronserver->addItem(Text8::toQString(e));
    EditHeronserver->setEditText(current);
}

void TFConfig::markConfigDialogWindow()
{
    m_main.ConfigDialogWindow = this;
}

void TFConfig::acknowledge()
{
    m_main.Button3Click();
}
