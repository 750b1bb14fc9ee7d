#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "station/StationConfigFile.h"
#include "station/StationTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLineEdit *makeValueEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QCheckBox *makeCheckBox(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton *makeButton(const char *name, const char *caption, QWidget *parent)
{
    auto *button = new QPushButton(Text8::toQString(Text8::cp(caption)), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

void setColour(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

} // namespace

TFR2U_Radadu::TFR2U_Radadu(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FR2U_Radadu"));
    setWindowTitle(QString::fromLatin1(StationTexts::ApplicationTitle));

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    auto *layout = new QVBoxLayout(central);

    auto *values = new QGridLayout;
    EditT = makeValueEdit("EditT", central);
    EditTP = makeValueEdit("EditTP", central);
    EditT_TP = makeValueEdit("EditT_TP", central);
    EditRH = makeValueEdit("EditRH", central);
    EditCpuTemp = makeValueEdit("EditCpuTemp", central);
    const struct
    {
        const char *label;
        QLineEdit *edit;
    } rows[] = {{"Temperatur", EditT},
                {"Taupunkt", EditTP},
                {"T-TP", EditT_TP},
                {"RH", EditRH},
                {"CPU-Temp", EditCpuTemp}};
    LabelTempMinMax = new QLabel(central);
    LabelTPMinMax = new QLabel(central);
    LabelT_TPMinMax = new QLabel(central);
    LabelRHMinMax = new QLabel(central);
    LabelTempMinMax->setObjectName(QStringLiteral("LabelTempMinMax"));
    LabelTPMinMax->setObjectName(QStringLiteral("LabelTPMinMax"));
    LabelT_TPMinMax->setObjectName(QStringLiteral("LabelT_TPMinMax"));
    LabelRHMinMax->setObjectName(QStringLiteral("LabelRHMinMax"));
    QLabel *limitLabels[] = {LabelTempMinMax, LabelTPMinMax, LabelT_TPMinMax, LabelRHMinMax, nullptr};
    int row = 0;
    for (const auto &r : rows) {
        values->addWidget(new QLabel(QString::fromLatin1(r.label), central), row, 0);
        values->addWidget(r.edit, row, 1);
        if (limitLabels[row])
            values->addWidget(limitLabels[row], row, 2);
        ++row;
    }
    layout->addLayout(values);

    EditServerDisplay = new QLineEdit(central);
    EditServerDisplay->setObjectName(QStringLiteral("EditServerDisplay"));
    EditServerDisplay->setReadOnly(true);
    layout->addWidget(EditServerDisplay);

    auto *contacts = new QGridLayout;
    CheckRI = makeCheckBox("CheckRI", QStringLiteral("RI"), central);
    CheckDC = makeCheckBox("CheckDC", QStringLiteral("DC"), central);
    CheckRI->setEnabled(false);
    CheckDC->setEnabled(false);
    RIStat = makeCheckBox("RIStat", QString(), central);
    DCStat = makeCheckBox("DCStat", QString(), central);
    RIStat->setEnabled(false);
    DCStat->setEnabled(false);
    RIStat->setAutoFillBackground(true);
    DCStat->setAutoFillBackground(true);
    contacts->addWidget(CheckRI, 0, 0);
    contacts->addWidget(RIStat, 0, 1);
    contacts->addWidget(CheckDC, 1, 0);
    contacts->addWidget(DCStat, 1, 1);
    layout->addLayout(contacts);

    LabelLastConnection = new QLabel(central);
    LabelLastConnection->setObjectName(QStringLiteral("LabelLastConnection"));
    layout->addWidget(LabelLastConnection);

    LastErrorLabel = new QLabel(QString::fromLatin1(StationTexts::LastErrCaption), central);
    LastErrorLabel->setObjectName(QStringLiteral("LastErrorLabel"));
    layout->addWidget(LastErrorLabel);

    auto *buttons = new QHBoxLayout;
    Button1 = makeButton("Button1", "Start Sensor", central);
    Button2 = makeButton("Button2", "Konfiguration", central);
    Button3 = makeButton("Button3", "quittieren", central);
    Button4 = makeButton("Button4", "COM-Port-Manager", central);
    Button2->setVisible(false);
    Button4->setVisible(false);
    Edit1 = new QComboBox(central);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEditable(true);
    Edit1->setVisible(false);
    Testmode = makeCheckBox("Testmode", QStringLiteral("Testmode"), central);
    Testmode->setVisible(false);
    for (QWidget *w : {static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button3),
                       static_cast<QWidget *>(Button2), static_cast<QWidget *>(Button4),
                       static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Testmode)})
        buttons->addWidget(w);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TFR2U_Radadu::Button1Interactive);
    connect(Button2, &QPushButton::clicked, this, &TFR2U_Radadu::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFR2U_Radadu::Button3Click);

    Listbox = new QPlainTextEdit(central);
    Listbox->setObjectName(QStringLiteral("Listbox"));
    Listbox->setReadOnly(true);
    Listbox->setToolTip(Text8::toQString(Text8::cp(StationTexts::ListboxHint)));
    Listbox->setVisible(false);
    layout->addWidget(Listbox);

    setCentralWidget(central);
    setAutoFillBackground(true);
    setWindowColour(Colours::ActiveBorder);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(15000);
    connect(Timer1, &QTimer::timeout, this, &TFR2U_Radadu::Timer1Timer);
    Timer1->start();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(15000);
    connect(Timer2, &QTimer::timeout, this, &TFR2U_Radadu::Timer2Timer);
    Timer2->start();

    Timer5 = new QTimer(this);
    Timer5->setObjectName(QStringLiteral("Timer5"));
    Timer5->setInterval(5000);
    connect(Timer5, &QTimer::timeout, this, &TFR2U_Radadu::Timer5Timer);

    setPlatform(systemPlatform());
}

StationPlatform TFR2U_Radadu::systemPlatform()
{
    StationPlatform p = StationPlatform::system();
    p.beep = [] { QApplication::beep(); };
    return p;
}

void TFR2U_Radadu::setPlatform(StationPlatform platform)
{
    if (platform.notices != &m_boxes) {
        m_boxes.setPresenter(platform.notices);
        platform.notices = &m_boxes;
    }
    m_core->setPlatform(platform);
}

void SaveStationConfigFiles(TFR2U_Radadu &window)
{
    SaveStationConfigFiles(
        window.core().config, [&window] { return Text8::fromQString(window.Edit1->currentText()); },
        window.messageBoxes());
}

TFR2U_Radadu::~TFR2U_Radadu()
{
    m_startup.windowGone();
}

bool TFR2U_Radadu::addStatusListLine(const QByteArray &text)
{
    Listbox->appendPlainText(Text8::toQString(text));
    Listbox->verticalScrollBar()->setValue(Listbox->verticalScrollBar()->maximum());
    return true;
}

void TFR2U_Radadu::clearStatusList()
{
    Listbox->clear();
    Listbox->verticalScrollBar()->setValue(0);
}

void TFR2U_Radadu::setLastError(const QByteArray &text, const QColor &colour)
{
    LastErrorLabel->setText(Text8::toQString(text));
    setLastErrorColour(colour);
}

void TFR2U_Radadu::setLastErrorColour(const QColor &colour)
{
    setColour(LastErrorLabel, QPalette::WindowText, colour);
}

QLineEdit *TFR2U_Radadu::valueEdit(ValueDisplay field) const
{
    switch (field) {
    case ValueDisplay::T:
        return EditT;
    case ValueDisplay::TP:
        return EditTP;
    case ValueDisplay::T_TP:
        return EditT_TP;
    case ValueDisplay::RH:
        return EditRH;
    case ValueDisplay::CpuTemp:
        return EditCpuTemp;
    }
    return EditT;
}

void TFR2U_Radadu::setValueText(ValueDisplay field, const QByteArray &text)
{
    valueEdit(field)->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setValueColour(ValueDisplay field, const QColor &fontColour)
{
    setColour(valueEdit(field), QPalette::Text, fontColour);
}

void TFR2U_Radadu::setValueBackground(ValueDisplay field, const QColor &colour)
{
    setColour(valueEdit(field), QPalette::Base, colour);
}

void TFR2U_Radadu::setLastConnectionText(const QByteArray &text)
{
    LabelLastConnection->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setContactStatus(int input, bool checked, const QColor &colour)
{
    QCheckBox *box = input == 1 ? RIStat : DCStat;
    box->setChecked(checked);
    setColour(box, QPalette::Window, colour);
}

void TFR2U_Radadu::setWindowColour(const QColor &colour)
{
    setColour(this, QPalette::Window, colour);
}

QColor TFR2U_Radadu::windowColour() const
{
    return palette().color(QPalette::Window);
}

void TFR2U_Radadu::signalAlarmWindow(int intervalMs, bool focus)
{
    Timer5->setInterval(intervalMs);
    Timer5->start();
    setWindowColour(Colours::Red);
    Timer2->stop();
    Timer2->start();
    hide();
    show();
    if (focus)
        activateWindow();
}

bool TFR2U_Radadu::alarmSignalled() const
{
    return Timer5->isActive();
}

void TFR2U_Radadu::Timer2Timer()
{
    // One-shot hiding of the window; commands re-arm the timer.
    Timer2->stop();
    Timer2->setInterval(1000000);
    hide();
}

void TFR2U_Radadu::Timer5Timer()
{
    // The alarm marker re-arms itself and has no other effect.
    Timer5->stop();
    Timer5->start();
}
