#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "station/MeasurementTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace {

// "COM" + an integer from 1 to 99 + ":"; a middle part that is not an
// integer counts as 0.
bool isValidSensorPort(const QByteArray &name)
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

} // namespace

void TFR2U_Radadu::Button1Interactive()
{
    EnumCOMPorts();
    Button1Click();
}

void TFR2U_Radadu::Button1Click()
{
    StationCore &c = core();
    StationState &s = c.state;
    const QString startCaption = Text8::toQString(Text8::cp(MeasurementTexts::StartSensor));

    if (Button1->text() != startCaption) {
        Button4->setEnabled(true);
        s.SensorRunning = false;
        Button1->setText(startCaption);
        c.mirror.StartButtonStop = false;
        Edit1->setEnabled(true);
        Button2->setEnabled(true);
        c.activity().addDirectLine(Text8::cp(MeasurementTexts::SensorStopped));
        return;
    }

    Button4->setEnabled(false);
    s.LineInvert = Testmode->isChecked() ? 0 : 1;
    const QByteArray name = Text8::upper(Text8::fromQString(Edit1->currentText()));
    s.ComPortName = name;
    s.BaudRate = 19200;
    if (name.isEmpty())
        return;
    if (!isValidSensorPort(name)) {
        c.notify(Text8::cp(MeasurementTexts::IllegalComPort));
        return;
    }
    Button1->setText(Text8::toQString(Text8::cp(MeasurementTexts::StopSensor)));
    c.mirror.StartButtonStop = true;
    s.SensorRunning = true;
    c.activity().addDirectLine(Text8::cp(MeasurementTexts::SensorStarted));
    Edit1->setEnabled(false);
}
