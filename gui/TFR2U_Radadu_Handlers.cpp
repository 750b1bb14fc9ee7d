#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "gui/OwnWindowSearch.h"
#include "gui/TFConfig.h"
#include "station/ApplicationTitle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>

namespace {

// Replaces the entries of a port list; the text in the box stays as it was
// and no change is signalled.
void fillPortList(QComboBox *box, const QList<QByteArray> &ports)
{
    const QSignalBlocker blocker(box);
    const QString text = box->currentText();
    box->clear();
    for (const QByteArray &port : ports)
        box->addItem(Text8::toQString(port));
    box->setCurrentText(text);
}

} // namespace

// Handlers: each hands its work to the station's classes.

void TFR2U_Radadu::FormCreate(const QStringList &arguments)
{
    m_startup.FormCreate(arguments);
}

void TFR2U_Radadu::FormActivate()
{
    m_startup.FormActivate();
}

void TFR2U_Radadu::FormShow()
{
    m_startup.FormShow();
}

void TFR2U_Radadu::FormDestroy()
{
    m_startup.FormDestroy();
}

void TFR2U_Radadu::Timer1Timer()
{
    m_supervision.run();
}

void TFR2U_Radadu::Button1Interactive()
{
    EnumCOMPorts();
    Button1Click();
}

void TFR2U_Radadu::Button1Click()
{
    m_sensor.toggle();
}

void TFR2U_Radadu::remoteSet(int item, const QByteArray &value)
{
    if (!FConfig)
        return;
    using Setter = void (TFConfig::*)(const QByteArray &);
    static constexpr Setter setters[] = {
        &TFConfig::RemoteSetTmin,       &TFConfig::RemoteSetTmax,
        &TFConfig::RemoteSetTPmin,      &TFConfig::RemoteSetTPmax,
        &TFConfig::RemoteSetT_TPmin,    &TFConfig::RemoteSetT_TPmax,
        &TFConfig::RemoteSetRHmin,      &TFConfig::RemoteSetRHmax,
        &TFConfig::RemoteSetRx,         &TFConfig::RemoteSetRI,
        &TFConfig::RemoteSetDC,         &TFConfig::RemoteSetCts,
        &TFConfig::RemoteSetKennung,    &TFConfig::RemoteSetHeronserver,
        &TFConfig::RemoteSetComPort,    &TFConfig::RemoteSetAlarmintervall,
        &TFConfig::RemoteSetCPUMAXTemp,
    };
    static_assert(std::size(setters) == ConfigSettings::RemoteItemCount);
    if (item >= 1 && item <= ConfigSettings::RemoteItemCount)
        (FConfig->*setters[item - 1])(value);
}

void TFR2U_Radadu::remoteApply()
{
    if (FConfig)
        FConfig->RemoteApply();
}

void TFR2U_Radadu::showServerHost(const QByteArray &host)
{
    setServerDisplay(host);
}

void TFR2U_Radadu::clickStartButton()
{
    Button1Click();
}

void TFR2U_Radadu::EnumCOMPorts()
{
    m_sensor.listPorts();
}

void TFR2U_Radadu::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TFR2U_Radadu::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate && !m_startup.activated() && !m_startup.destroyed() &&
        m_startup.created())
        QTimer::singleShot(0, this, [this] {
            if (!m_startup.activated() && !m_startup.destroyed())
                FormActivate();
        });
    return handled;
}

void TFR2U_Radadu::restartTimer1()
{
    Timer1->stop();
    m_core->sleep(50);
    Timer1->start();
}

void TFR2U_Radadu::Timer1Status(bool on)
{
    if (on)
        Timer1->start();
    else
        Timer1->stop();
}

void TFR2U_Radadu::rearmTimer1(int ms)
{
    Timer1->stop();
    Timer1->setInterval(ms);
    Timer1->start();
}

// StationWindow

void TFR2U_Radadu::setCaption(const QByteArray &text)
{
    setWindowTitle(Text8::toQString(text));
}

void TFR2U_Radadu::setLimitText(LimitLabel label, const QByteArray &text)
{
    QLabel *labels[] = {LabelTempMinMax, LabelTPMinMax, LabelT_TPMinMax, LabelRHMinMax};
    showBoundedText(labels[static_cast<int>(label)], Text8::toQString(text));
}

void TFR2U_Radadu::setServerDisplay(const QByteArray &text)
{
    EditServerDisplay->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setContactWatch(bool input1, bool input2)
{
    CheckRI->setChecked(input1);
    CheckDC->setChecked(input2);
}

bool TFR2U_Radadu::testMode() const
{
    return Testmode->isChecked();
}

void TFR2U_Radadu::setPortList(const QList<QByteArray> &ports)
{
    fillPortList(Edit1, ports);
    if (DialogPortList)
        fillPortList(DialogPortList, ports);
}

QByteArray TFR2U_Radadu::firstListedPort() const
{
    return Edit1->count() > 0 ? Text8::fromQString(Edit1->itemText(0)) : QByteArray();
}

QByteArray TFR2U_Radadu::portText() const
{
    return Text8::fromQString(Edit1->currentText());
}

void TFR2U_Radadu::setPortText(const QByteArray &text)
{
    Edit1->setCurrentText(Text8::toQString(text));
}

QByteArray TFR2U_Radadu::startButtonCaption() const
{
    return Text8::fromQString(Button1->text());
}

void TFR2U_Radadu::setStartButtonCaption(const QByteArray &text)
{
    Button1->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setControlEnabled(SensorControlItem item, bool enabled)
{
    switch (item) {
    case SensorControlItem::Button2:
        Button2->setEnabled(enabled);
        break;
    case SensorControlItem::Button4:
        Button4->setEnabled(enabled);
        break;
    case SensorControlItem::Edit1:
        Edit1->setEnabled(enabled);
        break;
    }
}

QTimer *TFR2U_Radadu::timer(StationTimer which) const
{
    return which == StationTimer::Timer1 ? Timer1 : Timer2;
}

void TFR2U_Radadu::startWindowTimer(StationTimer which)
{
    timer(which)->start();
}

void TFR2U_Radadu::stopWindowTimer(StationTimer which)
{
    timer(which)->stop();
}

void TFR2U_Radadu::setWindowTimerInterval(StationTimer which, int ms)
{
    timer(which)->setInterval(ms);
}

void TFR2U_Radadu::setTimer1RestartBeforeNotices(bool on)
{
    if (on)
        m_boxes.setBeforeShowHook([self = QPointer<TFR2U_Radadu>(this)] {
            if (self)
                self->restartTimer1();
        });
    else
        m_boxes.setBeforeShowHook(nullptr);
}

bool TFR2U_Radadu::closeOwnOpenBox()
{
    QList<QWidget *> leaveAlone;
    if (ConfigDialogWindow)
        leaveAlone.append(ConfigDialogWindow);
    QWidget *box = FindOwnDialogWindow(ApplicationTitle::get(), this, leaveAlone);
    if (!box)
        return false;
    QMetaObject::invokeMethod(box, "close", Qt::QueuedConnection);
    return true;
}

void TFR2U_Radadu::showConfigDialog()
{
    if (FConfig)
        FConfig->exec();
}

void TFR2U_Radadu::runLater(std::function<void()> work)
{
    QTimer::singleShot(0, this, std::move(work));
}
