#include "station/SensorControl.h"

#include "common/Text8.h"
#include "station/MeasurementTexts.h"
#include "station/StationCore.h"
#include "station/StationIdentifier.h"
#include "station/StationWindow.h"

bool SensorControl::isValidSensorPort(const QByteArray &name)
{
    if (name.size() < 4 || !name.startsWith("COM") || !name.endsWith(':'))
        return false;
    QByteArray middle = name.mid(3, name.size() - 4);
    if (middle.startsWith('+') || middle.startsWith('-'))
        middle = middle.mid(1);
    if (middle.isEmpty() || middle.size() > 9)
        return false;
    for (char c : middle)
        if (c < '0' || c > '9')
            return false;
    const int n = name.mid(3, name.size() - 4).toInt();
    return n >= 1 && n <= 99;
}

void SensorControl::toggle()
{
    StationCore &c = m_core;
    StationState &s = c.state;
    const QByteArray startCaption = Text8::cp(MeasurementTexts::StartSensor);

    if (m_window.startButtonCaption() != startCaption) {
        m_window.setControlEnabled(SensorControlItem::Button4, true);
        s.SensorRunning = false;
        m_window.setStartButtonCaption(startCaption);
        c.mirror.StartButtonStop = false;
        m_window.setControlEnabled(SensorControlItem::Edit1, true);
        m_window.setControlEnabled(SensorControlItem::Button2, true);
        c.activity().addDirectLine(Text8::cp(MeasurementTexts::SensorStopped));
        return;
    }

    m_window.setControlEnabled(SensorControlItem::Button4, false);
    s.LineInvert = m_window.testMode() ? 0 : 1;
    const QByteArray name = Text8::upper(m_window.portText());
    s.ComPortName = name;
    s.BaudRate = 19200;
    if (name.isEmpty())
        return;
    if (!isValidSensorPort(name)) {
        c.notify(Text8::cp(MeasurementTexts::IllegalComPort));
        return;
    }
    m_window.setStartButtonCaption(Text8::cp(MeasurementTexts::StopSensor));
    c.mirror.StartButtonStop = true;
    s.SensorRunning = true;
    c.activity().addDirectLine(Text8::cp(MeasurementTexts::SensorStarted));
    m_window.setControlEnabled(SensorControlItem::Edit1, false);
}

void SensorControl::listPorts()
{
    m_window.setPortList(FtdiComPortNames(m_core.ports()));
}
