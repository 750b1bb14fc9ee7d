#include "station/ActivityList.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/StationPlatform.h"
#include "station/StationState.h"
#include "station/StationTexts.h"
#include "station/StationView.h"

void ActivityList::resetList()
{
    m_view.clearStatusList();
    m_statusLineCount = 0;
}

bool ActivityList::comPortErrorBranch()
{
    if (!m_view.addStatusListLine(Text8::cp(StationTexts::ComPortError)))
        return false;
    ++m_statusLineCount;

    SensorAlarm &sensor = m_state.AlarmSensor;
    ++sensor.SensorErrorCount;
    if ((m_state.AlarmFlags & AlarmBit::SensorQuery) == 0 && sensor.SensorErrorCount >= 250
        && sensor.SensorErrorCount <= 255) {
        sensor.AlarmTime = m_platform.clockOrSystem().tickSeconds();
        m_state.AlarmFlags |= AlarmBit::SensorQuery;
        m_view.setLastError(LocaleFormat::dateTime(m_platform.clockOrSystem().localDateTime()) +
                                Text8::cp(StationTexts::SensorLoggingError),
                            Colours::Red);
        if (!m_view.alarmSignalled())
            m_view.signalAlarmWindow(500, false);
    }
    m_state.RawTemp = 0;
    m_state.RawHumidity = 0;
    for (ValueDisplay d : {ValueDisplay::T, ValueDisplay::TP, ValueDisplay::T_TP, ValueDisplay::RH})
        m_view.setValueText(d, " ");
    return true;
}

bool ActivityList::portWatchDue() const
{
    return m_state.SensorRunning.load() && m_state.ComHandle.load() == -1;
}

void ActivityList::appendStatusLine()
{
    if (portWatchDue()) {
        if (!comPortErrorBranch())
            resetList();
    }
    addCountedLine(m_state.StatusText);
}

bool ActivityList::appendPlainLine(const QByteArray &text)
{
    if (portWatchDue())
        return false;
    addCountedLine(text);
    return true;
}

void ActivityList::addCountedLine(const QByteArray &text)
{
    if (text.isEmpty())
        m_view.setLastErrorColour(Colours::Black);

    if (m_view.addStatusListLine(text))
        ++m_statusLineCount;
    else
        resetList();

    if (m_statusLineCount >= kClearAt)
        resetList();
}

void ActivityList::addDirectLine(const QByteArray &text)
{
    if (!m_view.addStatusListLine(text)) {
        m_view.clearStatusList();
        m_view.addStatusListLine(text);
    }
}

void ActivityList::clear()
{
    resetList();
}
