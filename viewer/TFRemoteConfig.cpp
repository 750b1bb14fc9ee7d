#include "viewer/TFRemoteConfig.h"

#include "viewer/RemoteConfigTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QLabel *makeLabel(const char *text, QWidget *parent, const char *name = nullptr)
{
    auto *label = new QLabel(u(text), parent);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit *makeEdit(const char *name, const char *hint, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(u(hint));
    edit->setMaximumWidth(90);
    return edit;
}

QCheckBox *makeCheck(const char *name, const char *text, QWidget *parent)
{
    auto *box = new QCheckBox(u(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(u(RemoteConfigTexts::ContactHint));
    return box;
}

QLabel *separator(QWidget *parent, const char *name)
{
    auto *label = new QLabel(QString(60, QLatin1Char('_')), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

void setBold(QLabel *label)
{
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
}

} // namespace

const QStringList &TFRemoteConfig::ServerPresets()
{
    // The stand-in central server on this machine, by address and by name,
    // on its usual port and on the next one.
    static const QStringList presets = {QStringLiteral("127.0.0.1:2000"), QStringLiteral("localhost:2000"),
                                        QStringLiteral("127.0.0.1:2001"), QStringLiteral("localhost:2001")};
    return presets;
}

TFRemoteConfig::TFRemoteConfig(RemoteConfigHost &host, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_settings(host, *this)
{
    setObjectName(QStringLiteral("FRemoteConfig"));
    setWindowTitle(u(RemoteConfigTexts::Caption));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, MoneyGreen);
    setPalette(pal);
    setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);

    Label1 = makeLabel(RemoteConfigTexts::Heading, this, "Label1");
    setBold(Label1);
    layout->addWidget(Label1);

    auto *limits = new QGridLayout;
    const struct
    {
        QLineEdit **min;
        const char *minName;
        QLineEdit **max;
        const char *maxName;
        const char *labelName;
        const char *caption;
    } rows[] = {
        {&EditTmin, "EditTmin", &EditTmax, "EditTmax", "Label2", RemoteConfigTexts::TempLabel},
        {&EditRHmin, "EditRHmin", &EditRHmax, "EditRHmax", "Label3", RemoteConfigTexts::RHLabel},
        {&EditTPmin, "EditTPmin", &EditTPmax, "EditTPmax", "Label4", RemoteConfigTexts::TPLabel},
        {&EditT_TPmin, "EditT_TPmin", &EditT_TPmax, "EditT_TPmax", "Label5", RemoteConfigTexts::T_TPLabel},
    };
    int row = 0;
    for (const auto &r : rows) {
        *r.min = makeEdit(r.minName, RemoteConfigTexts::LimitHint, this);
        *r.max = makeEdit(r.maxName, RemoteConfigTexts::LimitHint, this);
        QLabel *label = makeLabel(r.caption, this, r.labelName);
        label->setToolTip(u(RemoteConfigTexts::LimitHint));
        label->setAlignment(Qt::AlignCenter);
        limits->addWidget(*r.min, row, 0);
        limits->addWidget(label, row, 1);
        limits->addWidget(*r.max, row, 2);
        ++row;
    }
    limits->setColumnStretch(1, 1);
    layout->addLayout(limits);

    auto *cpu = new QHBoxLayout;
    EditCPUMaxtemp = makeEdit("EditCPUMaxtemp", RemoteConfigTexts::CpuHint, this);
    QLabel *label13 = makeLabel(RemoteConfigTexts::CpuLabel, this, "Label13");
    label13->setToolTip(u(RemoteConfigTexts::CpuHint));
    cpu->addWidget(EditCPUMaxtemp);
    cpu->addWidget(label13);
    cpu->addStretch();
    layout->addLayout(cpu);

    auto *interval = new QHBoxLayout;
    QLabel *label11 = makeLabel(RemoteConfigTexts::IntervalBefore, this, "Label11");
    EditAlarmintervall = makeEdit("EditAlarmintervall", RemoteConfigTexts::IntervalHint, this);
    EditAlarmintervall->setText(u(RemoteConfigTexts::IntervalDefault));
    EditAlarmintervall->setMaximumWidth(40);
    QLabel *label12 = makeLabel(RemoteConfigTexts::IntervalAfter, this, "Label12");
    label11->setToolTip(u(RemoteConfigTexts::IntervalHint));
    label12->setToolTip(u(RemoteConfigTexts::IntervalHint));
    interval->addWidget(label11);
    interval->addWidget(EditAlarmintervall);
    interval->addWidget(label12);
    interval->addStretch();
    layout->addLayout(interval);

    layout->addWidget(separator(this, "Label6"));
    QLabel *label7 = makeLabel(RemoteConfigTexts::InputsHeading, this, "Label7");
    setBold(label7);
    layout->addWidget(label7);
    CheckRX = makeCheck("CheckRX", RemoteConfigTexts::CheckRX, this);
    CheckRI = makeCheck("CheckRI", RemoteConfigTexts::CheckRI, this);
    CheckDC = makeCheck("CheckDC", RemoteConfigTexts::CheckDC, this);
    CheckCTS = makeCheck("CheckCTS", RemoteConfigTexts::CheckCTS, this);
    CheckRX->setVisible(false);
    CheckCTS->setVisible(false);
    for (QCheckBox *box : {CheckRX, CheckRI, CheckDC, CheckCTS})
        layout->addWidget(box);
    layout->addWidget(separator(this, "Label8"));

    auto *id = new QGridLayout;
    QLabel *label9 = makeLabel(RemoteConfigTexts::IdLabel, this, "Label9");
    label9->setToolTip(u(RemoteConfigTexts::IdHint));
    EditKennung = makeEdit("EditKennung", RemoteConfigTexts::IdHint, this);
    EditKennung->setMaximumWidth(120);
    ModifyKennung = new QCheckBox(u(RemoteConfigTexts::ModifyId), this);
    ModifyKennung->setObjectName(QStringLiteral("ModifyKennung"));
    QLabel *label10 = makeLabel(RemoteConfigTexts::ServerLabel, this, "Label10");
    label10->setToolTip(u(RemoteConfigTexts::ServerLabelHint));
    EditHeronserver = new QComboBox(this);
    EditHeronserver->setObjectName(QStringLiteral("EditHeronserver"));
    EditHeronserver->setEditable(true);
    EditHeronserver->setInsertPolicy(QComboBox::NoInsert);
    EditHeronserver->addItems(ServerPresets());
    EditHeronserver->setEditText(u(RemoteConfigTexts::ServerDefault));
    EditHeronserver->setToolTip(u(RemoteConfigTexts::ServerHint));
    EditHeronserver->setMinimumWidth(200);
    id->addWidget(label9, 0, 0);
    id->addWidget(EditKennung, 0, 1);
    id->addWidget(ModifyKennung, 0, 2);
    id->addWidget(label10, 1, 0);
    id->addWidget(EditHeronserver, 1, 1, 1, 2);
    id->setColumnStretch(2, 1);
    layout->addLayout(id);
    setIdentifierBackground(Silver);

    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(u(RemoteConfigTexts::Ok), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    CancelButton = new QPushButton(u(RemoteConfigTexts::Cancel), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);

    // Tab order as the form has it.
    QWidget *order[] = {EditTmin,    EditTmax,  EditRHmin,    EditRHmax,          EditTPmin,
                        EditTPmax,   EditT_TPmin, EditT_TPmax, CheckRX,           CheckRI,
                        CheckDC,     CheckCTS,  EditKennung,  EditAlarmintervall, Button1,
                        CancelButton, EditCPUMaxtemp, EditHeronserver, ModifyKennung};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QLineEdit *e : {EditTmin, EditTmax, EditTPmin, EditTPmax, EditT_TPmin, EditT_TPmax, EditRHmin, EditRHmax,
                         EditAlarmintervall, EditCPUMaxtemp, EditKennung})
        e->installEventFilter(this);

    connect(ModifyKennung, &QCheckBox::toggled, this, [this] { ModifyKennungClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    FormCreate();
}

// Handlers

void TFRemoteConfig::FormCreate()
{
    m_settings.formCreate();
}
void TFRemoteConfig::FormActivate()
{
    m_settings.formActivate();
}
void TFRemoteConfig::FormDeactivate()
{
    m_settings.formDeactivate();
}
void TFRemoteConfig::EditTminExit()
{
    m_settings.limitExit(RemoteConfigField::Tmin);
}
void TFRemoteConfig::EditTmaxExit()
{
    m_settings.limitExit(RemoteConfigField::Tmax);
}
void TFRemoteConfig::EditTPminExit()
{
    m_settings.limitExit(RemoteConfigField::TPmin);
}
void TFRemoteConfig::EditTPmaxExit()
{
    m_settings.limitExit(RemoteConfigField::TPmax);
}
void TFRemoteConfig::EditT_TPminExit()
{
    m_settings.limitExit(RemoteConfigField::T_TPmin);
}
void TFRemoteConfig::EditT_TPmaxExit()
{
    m_settings.limitExit(RemoteConfigField::T_TPmax);
}
void TFRemoteConfig::EditRHminExit()
{
    m_settings.limitExit(RemoteConfigField::RHmin);
}
void TFRemoteConfig::EditRHmaxExit()
{
    m_settings.limitExit(RemoteConfigField::RHmax);
}
void TFRemoteConfig::EditAlarmintervallExit()
{
    m_settings.alarmintervallExit();
}
void TFRemoteConfig::EditCPUMaxtempExit()
{
    m_settings.cpuMaxtempExit();
}
void TFRemoteConfig::EditKennungExit()
{
    m_settings.kennungExit();
}
void TFRemoteConfig::EditHeronserverExit()
{
    m_settings.heronserverExit();
}
void TFRemoteConfig::ModifyKennungClick()
{
    m_settings.modifyKennungClick();
}

void TFRemoteConfig::Button1Click()
{
    m_settings.okClick();
    done(1); // hiding the dialog runs FormDeactivate
}

void TFRemoteConfig::CancelButtonClick()
{
    m_settings.cancelClick();
    done(1);
}

// The view

QLineEdit *TFRemoteConfig::editOf(RemoteConfigField field) const
{
    switch (field) {
    case RemoteConfigField::Tmin:
        return EditTmin;
    case RemoteConfigField::Tmax:
        return EditTmax;
    case RemoteConfigField::TPmin:
        return EditTPmin;
    case RemoteConfigField::TPmax:
        return EditTPmax;
    case RemoteConfigField::T_TPmin:
        return EditT_TPmin;
    case RemoteConfigField::T_TPmax:
        return EditT_TPmax;
    case RemoteConfigField::RHmin:
        return EditRHmin;
    case RemoteConfigField::RHmax:
        return EditRHmax;
    case RemoteConfigField::Kennung:
        return EditKennung;
    case RemoteConfigField::Alarmintervall:
        return EditAlarmintervall;
    case RemoteConfigField::CPUMaxtemp:
        return EditCPUMaxtemp;
    case RemoteConfigField::Heronserver:
        break;
    }
    return nullptr;
}

QWidget *TFRemoteConfig::controlOf(RemoteConfigField field) const
{
    if (field == RemoteConfigField::Heronserver)
        return EditHeronserver;
    return editOf(field);
}

QString TFRemoteConfig::fieldText(RemoteConfigField field) const
{
    if (field == RemoteConfigField::Heronserver)
        return EditHeronserver->currentText();
    return editOf(field)->text();
}

void TFRemoteConfig::setFieldText(RemoteConfigField field, const QString &text)
{
    if (field == RemoteConfigField::Heronserver)
        EditHeronserver->setEditText(text);
    else
        editOf(field)->setText(text);
}

void TFRemoteConfig::clearField(RemoteConfigField field)
{
    if (field == RemoteConfigField::Heronserver)
        EditHeronserver->clearEditText();
    else
        editOf(field)->clear();
}

void TFRemoteConfig::focusField(RemoteConfigField field)
{
    controlOf(field)->setFocus(Qt::OtherFocusReason);
}

void TFRemoteConfig::showMessage(const QString &text)
{
    m_messages.show(this, text);
}

ContactChecks TFRemoteConfig::dialogChecks() const
{
    return {CheckRX->isChecked(), CheckRI->isChecked(), CheckDC->isChecked(), CheckCTS->isChecked()};
}

void TFRemoteConfig::setDialogChecks(const ContactChecks &checks)
{
    CheckRX->setChecked(checks.rx);
    CheckRI->setChecked(checks.ri);
    CheckDC->setChecked(checks.dc);
    CheckCTS->setChecked(checks.cts);
}

bool TFRemoteConfig::modifyKennung() const
{
    return ModifyKennung->isChecked();
}

void TFRemoteConfig::setModifyKennung(bool checked)
{
    ModifyKennung->setChecked(checked);
}

void TFRemoteConfig::setIdentifierReadOnly(bool readOnly)
{
    EditKennung->setReadOnly(readOnly);
}

void TFRemoteConfig::colourIdentifier(IdentifierColour colour)
{
    switch (colour) {
    case IdentifierColour::CaptionText:
        setIdentifierBackground(CaptionText);
        return;
    case IdentifierColour::InactiveCaptionText:
        setIdentifierBackground(InactiveCaptionText);
        return;
    case IdentifierColour::SystemWindow:
        setIdentifierBackground(QGuiApplication::palette().color(QPalette::Base));
        return;
    case IdentifierColour::Silver:
        setIdentifierBackground(Silver);
        return;
    }
}

void TFRemoteConfig::setIdentifierBackground(const QColor &background)
{
    QPalette p = EditKennung->palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, Qt::black);
    EditKennung->setPalette(p);
}

// Activation, deactivation and leaving a field

void TFRemoteConfig::showEvent(QShowEvent *event)
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

void TFRemoteConfig::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormDeactivate();
}

bool TFRemoteConfig::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && isVisible()) {
        // Focus that moves to a message box or a drop-down list, or leaves
        // with the window, does not leave the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            fieldExit(watched);
    }
    return QDialog::eventFilter(watched, event);
}

void TFRemoteConfig::fieldExit(QObject *control)
{
    if (control == EditTmin)
        EditTminExit();
    else if (control == EditTmax)
        EditTmaxExit();
    else if (control == EditTPmin)
        EditTPminExit();
    else if (control == EditTPmax)
        EditTPmaxExit();
    else if (control == EditT_TPmin)
        EditT_TPminExit();
    else if (control == EditT_TPmax)
        EditT_TPmaxExit();
    else if (control == EditRHmin)
        EditRHminExit();
    else if (control == EditRHmax)
        EditRHmaxExit();
    else if (control == EditAlarmintervall)
        EditAlarmintervallExit();
    else if (control == EditCPUMaxtemp)
        EditCPUMaxtempExit();
    else if (control == EditKennung)
        EditKennungExit();
}
