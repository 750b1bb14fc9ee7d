#include "viewer/TFRemoteConfig.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "viewer/RemoteConfigTexts.h"
#include "viewer/RemoteStationState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
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

struct TFRemoteConfig::LimitField
{
    QLineEdit *TFRemoteConfig::*edit;
    QString RemoteStationConfig::*copy;
    const char *message;
};

// In the order in which FormDeactivate checks them.
const TFRemoteConfig::LimitField TFRemoteConfig::kLimits[8] = {
    {&TFRemoteConfig::EditTmin, &RemoteStationConfig::TempMin, RemoteConfigTexts::TminNotFloat},
    {&TFRemoteConfig::EditTmax, &RemoteStationConfig::TempMax, RemoteConfigTexts::TmaxNotFloat},
    {&TFRemoteConfig::EditTPmin, &RemoteStationConfig::TPMin, RemoteConfigTexts::TPminNotFloat},
    {&TFRemoteConfig::EditTPmax, &RemoteStationConfig::TPMax, RemoteConfigTexts::TPmaxNotFloat},
    {&TFRemoteConfig::EditT_TPmin, &RemoteStationConfig::TTPMin, RemoteConfigTexts::T_TPminNotFloat},
    {&TFRemoteConfig::EditT_TPmax, &RemoteStationConfig::TTPMax, RemoteConfigTexts::T_TPmaxNotFloat},
    {&TFRemoteConfig::EditRHmin, &RemoteStationConfig::RHMin, RemoteConfigTexts::RHminNotFloat},
    {&TFRemoteConfig::EditRHmax, &RemoteStationConfig::RHMax, RemoteConfigTexts::RHmaxNotFloat},
};

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
    , m_host(host)
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
    colourIdentifier(Silver);

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

    for (const LimitField &f : kLimits)
        (this->*f.edit)->installEventFilter(this);
    for (QWidget *w : {static_cast<QWidget *>(EditAlarmintervall), static_cast<QWidget *>(EditCPUMaxtemp),
                       static_cast<QWidget *>(EditKennung)})
        w->installEventFilter(this);

    connect(ModifyKennung, &QCheckBox::toggled, this, [this] { ModifyKennungClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    FormCreate();
}

RemoteStationState &TFRemoteConfig::state()
{
    return m_host.remoteState();
}

void TFRemoteConfig::FormCreate()
{
    m_inputRejected = false;
}

// Field checks

void TFRemoteConfig::rejectField(QLineEdit *edit, const QString &message)
{
    m_messages.show(this, message);
    edit->clear();
    edit->setFocus(Qt::OtherFocusReason);
    m_inputRejected = true;
}

void TFRemoteConfig::limitExit(const LimitField &field)
{
    QLineEdit *edit = this->*field.edit;
    const QString text = edit->text();
    if (text.isEmpty())
        return;
    // Blanks around the number do not hinder the conversion; the copy keeps them.
    if (!ConfigFormat::toThreshold(Text8::fromQString(text))) {
        rejectField(edit, u(field.message));
        return;
    }
    QMutexLocker lock(&state().ConfigSection);
    if (!m_configUnconfirmed)
        state().config.*field.copy = text;
}

void TFRemoteConfig::EditTminExit()
{
    limitExit(kLimits[0]);
}
void TFRemoteConfig::EditTmaxExit()
{
    limitExit(kLimits[1]);
}
void TFRemoteConfig::EditTPminExit()
{
    limitExit(kLimits[2]);
}
void TFRemoteConfig::EditTPmaxExit()
{
    limitExit(kLimits[3]);
}
void TFRemoteConfig::EditT_TPminExit()
{
    limitExit(kLimits[4]);
}
void TFRemoteConfig::EditT_TPmaxExit()
{
    limitExit(kLimits[5]);
}
void TFRemoteConfig::EditRHminExit()
{
    limitExit(kLimits[6]);
}
void TFRemoteConfig::EditRHmaxExit()
{
    limitExit(kLimits[7]);
}

void TFRemoteConfig::EditAlarmintervallExit()
{
    const QString text = EditAlarmintervall->text();
    if (text.isEmpty()) {
        // Also while the dialog is not confirmed.
        QMutexLocker lock(&state().ConfigSection);
        state().config.AlarmInterval = QStringLiteral("0");
        return;
    }
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(text));
    if (!v) {
        rejectField(EditAlarmintervall, u(RemoteConfigTexts::IntervalNotInteger));
        return;
    }
    {
        QMutexLocker lock(&state().ConfigSection);
        if (!m_configUnconfirmed)
            state().config.AlarmInterval = text;
    }
    // The range comes after the copy: a value out of range stays copied.
    if (*v < 0 || *v > 24)
        rejectField(EditAlarmintervall, u(RemoteConfigTexts::IntervalOutOfRange));
}

void TFRemoteConfig::EditCPUMaxtempExit()
{
    const QString text = EditCPUMaxtemp->text();
    if (text.isEmpty())
        return;
    const std::optional<qint32> v = ConfigFormat::toInteger(Text8::fromQString(text));
    if (!v) {
        rejectField(EditCPUMaxtemp, u(RemoteConfigTexts::CpuNotInteger));
        return;
    }
    QMutexLocker lock(&state().ConfigSection);
    const qint32 tjMax = state().StationTjMax;
    // 0 is kept (the CPU turns red only at its maximum), StationTjMax is not
    // (the station would count every reading as too hot): the ends the
    // station's own dialog keeps.
    if (*v < 0 || *v >= tjMax) {
        lock.unlock(); // no lock over a message window
        rejectField(EditCPUMaxtemp,
               u(RemoteConfigTexts::CpuRangePrefix) + QString::number(tjMax) + u(RemoteConfigTexts::CpuRangeSuffix));
        return;
    }
    if (!m_configUnconfirmed)
        state().config.CpuMaxTempDistance = text;
}

void TFRemoteConfig::EditKennungExit()
{
    QByteArray id = Text8::upper(Text8::fromQString(EditKennung->text()));
    while (id.size() < RemoteConfigTexts::IdLength)
        id.append(RemoteConfigTexts::IdFill);
    id.truncate(RemoteConfigTexts::IdLength);
    EditKennung->setText(Text8::toQString(id));
}

void TFRemoteConfig::EditHeronserverExit()
{
    if (EditHeronserver->currentText().isEmpty())
        m_messages.show(this, u(RemoteConfigTexts::NoServer));
}

void TFRemoteConfig::ModifyKennungClick()
{
    const bool manual = ModifyKennung->isChecked();
    colourIdentifier(manual ? QGuiApplication::palette().color(QPalette::Base) : Silver);
    QMutexLocker lock(&state().ConfigSection);
    state().StationIdLocked = !manual;
}

void TFRemoteConfig::colourIdentifier(const QColor &background)
{
    QPalette p = EditKennung->palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, Qt::black);
    EditKennung->setPalette(p);
}

// Activation and deactivation

void TFRemoteConfig::FormActivate()
{
    m_configUnconfirmed = true;
    RemoteStationState &st = state();
    QMutexLocker lock(&st.ConfigSection);
    st.ConfigState = 1;
    const RemoteStationConfig &c = st.config;
    EditTmin->setText(c.TempMin);
    EditTmax->setText(c.TempMax);
    EditTPmin->setText(c.TPMin);
    EditTPmax->setText(c.TPMax);
    EditT_TPmin->setText(c.TTPMin);
    EditT_TPmax->setText(c.TTPMax);
    EditRHmin->setText(c.RHMin);
    EditRHmax->setText(c.RHMax);
    EditKennung->setText(c.StationId);
    EditHeronserver->setEditText(c.Server);
    EditAlarmintervall->setText(c.AlarmInterval);
    EditCPUMaxtemp->setText(c.CpuMaxTempDistance);

    const ContactChecks checks = m_host.contactChecks();
    CheckRX->setChecked(checks.rx);
    CheckRI->setChecked(checks.ri);
    CheckDC->setChecked(checks.dc);
    CheckCTS->setChecked(checks.cts);

    const bool locked = st.StationIdLocked;
    ModifyKennung->setChecked(!locked); // runs ModifyKennungClick when the state changes
    EditKennung->setReadOnly(locked);
    colourIdentifier(locked ? InactiveCaptionText : CaptionText);
}

void TFRemoteConfig::FormDeactivate()
{
    if (m_configUnconfirmed)
        return;
    RemoteStationState &st = state();
    {
        QMutexLocker lock(&st.ConfigSection);
        EditTminExit();
        EditTmaxExit();
        EditTPminExit();
        EditTPmaxExit();
        EditT_TPminExit();
        EditT_TPmaxExit();
        EditRHminExit();
        EditRHmaxExit();
        EditKennungExit();
        EditHeronserverExit();
        EditAlarmintervallExit();
        EditCPUMaxtempExit();

        RemoteStationConfig &c = st.config;
        c.TempMin = EditTmin->text();
        c.TempMax = EditTmax->text();
        c.TPMin = EditTPmin->text();
        c.TPMax = EditTPmax->text();
        c.TTPMin = EditT_TPmin->text();
        c.TTPMax = EditT_TPmax->text();
        c.RHMin = EditRHmin->text();
        c.RHMax = EditRHmax->text();
        c.StationId = EditKennung->text();
        c.Server = EditHeronserver->currentText();

        m_host.setContactChecks(
            {CheckRX->isChecked(), CheckRI->isChecked(), CheckDC->isChecked(), CheckCTS->isChecked()});
    }
    if (!m_inputRejected) {
        st.ConfigSendRequested = true;
        st.ConfigState = 1;
    }
}

void TFRemoteConfig::Button1Click()
{
    m_configUnconfirmed = false;
    done(1); // hiding the dialog runs FormDeactivate
}

void TFRemoteConfig::CancelButtonClick()
{
    m_configUnconfirmed = true;
    done(1);
}

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
    for (const LimitField &f : kLimits)
        if (this->*f.edit == control) {
            limitExit(f);
            return;
        }
    if (control == EditAlarmintervall)
        EditAlarmintervallExit();
    else if (control == EditCPUMaxtemp)
        EditCPUMaxtempExit();
    else if (control == EditKennung)
        EditKennungExit();
}
