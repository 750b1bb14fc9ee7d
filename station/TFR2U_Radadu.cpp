#include "station/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "station/StationTexts.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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

void setTextColour(QWidget *w, QPalette::ColorRole role, const QColor &colour)
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
    m_editT = makeValueEdit("EditT", central);
    m_editTP = makeValueEdit("EditTP", central);
    m_editT_TP = makeValueEdit("EditT_TP", central);
    m_editRH = makeValueEdit("EditRH", central);
    m_editCpuTemp = makeValueEdit("EditCpuTemp", central);
    const struct
    {
        const char *label;
        QLineEdit *edit;
    } rows[] = {{"Temperatur", m_editT},
                {"Taupunkt", m_editTP},
                {"T-TP", m_editT_TP},
                {"RH", m_editRH},
                {"CPU-Temp", m_editCpuTemp}};
    int row = 0;
    for (const auto &r : rows) {
        values->addWidget(new QLabel(QString::fromLatin1(r.label), central), row, 0);
        values->addWidget(r.edit, row, 1);
        ++row;
    }
    layout->addLayout(values);

    m_lastErrorLabel = new QLabel(QString::fromLatin1(StationTexts::LastErrCaption), central);
    m_lastErrorLabel->setObjectName(QStringLiteral("LastErrorLabel"));
    layout->addWidget(m_lastErrorLabel);

    m_listbox = new QPlainTextEdit(central);
    m_listbox->setObjectName(QStringLiteral("Listbox"));
    m_listbox->setReadOnly(true);
    m_listbox->setToolTip(Text8::toQString(Text8::cp(StationTexts::ListboxHint)));
    m_listbox->setVisible(false);
    layout->addWidget(m_listbox);

    setCentralWidget(central);
    setAutoFillBackground(true);
    setWindowColour(Colours::ActiveBorder);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(15000);
    connect(Timer2, &QTimer::timeout, this, &TFR2U_Radadu::Timer2Timer);
    Timer2->start();

    Timer5 = new QTimer(this);
    Timer5->setObjectName(QStringLiteral("Timer5"));
    Timer5->setInterval(5000);
    connect(Timer5, &QTimer::timeout, this, &TFR2U_Radadu::Timer5Timer);

    m_core = std::make_unique<StationCore>(*this);
}

TFR2U_Radadu::~TFR2U_Radadu()
{
    m_core->handover.close();
}

bool TFR2U_Radadu::addStatusListLine(const QByteArray &text)
{
    m_listbox->appendPlainText(Text8::toQString(text));
    m_listbox->verticalScrollBar()->setValue(m_listbox->verticalScrollBar()->maximum());
    return true;
}

void TFR2U_Radadu::clearStatusList()
{
    m_listbox->clear();
    m_listbox->verticalScrollBar()->setValue(0);
}

void TFR2U_Radadu::setLastError(const QByteArray &text, const QColor &colour)
{
    m_lastErrorLabel->setText(Text8::toQString(text));
    setLastErrorColour(colour);
}

void TFR2U_Radadu::setLastErrorColour(const QColor &colour)
{
    setTextColour(m_lastErrorLabel, QPalette::WindowText, colour);
}

QLineEdit *TFR2U_Radadu::valueEdit(ValueDisplay field) const
{
    switch (field) {
    case ValueDisplay::T:
        return m_editT;
    case ValueDisplay::TP:
        return m_editTP;
    case ValueDisplay::T_TP:
        return m_editT_TP;
    case ValueDisplay::RH:
        return m_editRH;
    case ValueDisplay::CpuTemp:
        return m_editCpuTemp;
    }
    return m_editT;
}

void TFR2U_Radadu::setValueText(ValueDisplay field, const QByteArray &text)
{
    valueEdit(field)->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setValueColour(ValueDisplay field, const QColor &colour)
{
    setTextColour(valueEdit(field), QPalette::Base, colour);
}

void TFR2U_Radadu::setWindowColour(const QColor &colour)
{
    setTextColour(this, QPalette::Window, colour);
}

QColor TFR2U_Radadu::windowColour() const
{
    return palette().color(QPalette::Window);
}

void TFR2U_Radadu::signalAlarmWindow(int intervalMs, bool focus)
{
    Timer5->setInterval(intervalMs);
    Timer5->start();
    m_core->mirror.AlarmSignalled = true;
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
