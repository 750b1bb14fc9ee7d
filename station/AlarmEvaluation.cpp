#include "station/AlarmEvaluation.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "station/EvaluationTexts.h"
#include "station/LogFile.h"
#include "station/StationCore.h"

#include <QLocale>

#include <cmath>

namespace {

// Background of a value display that shows a reading.
const QColor kWindowBackground{255, 255, 255};

// A limit text as typed: an empty text is no limit, a text that is not a
// number counts as 0.0.
std::optional<double> parseLimit(const QByteArray &text)
{
    if (Text8::trimmed(text).isEmpty())
        return std::nullopt;
    return ConfigFormat::toThreshold(text).value_or(0.0);
}

QByteArray shown(double value)
{
    return MeasureRecords::formatFixed2(value, MeasureRecords::localeDecimalSeparator());
}

struct QuantityTexts
{
    const char *word;
    ValueDisplay display;
};

constexpr QuantityTexts kTexts[AlarmEvaluation::QuantityCount] = {
    {EvaluationTexts::WordTemperature, ValueDisplay::T},
    {EvaluationTexts::WordDewPoint, ValueDisplay::TP},
    {EvaluationTexts::WordDistance, ValueDisplay::T_TP},
    {EvaluationTexts::WordHumidity, ValueDisplay::RH},
    {EvaluationTexts::WordCpu, ValueDisplay::CpuTemp},
};

} // namespace

AlarmEvaluation::AlarmEvaluation(StationCore &core)
    : m_core(core)
    , m_recordTimer(core.clock())
{}

AlarmEvaluation::~AlarmEvaluation() = default;

void AlarmEvaluation::onThreadStart()
{
    for (Watch &w : m_watch) {
        w.colour = ColourState::Green;
        w.previous = ColourState::Green;
    }
    onSensorStop();
    m_lastRiseTemp = -1000.0;
    m_recordTimer.setInterval(RecordTimer::DefaultIntervalMs);
    m_recordDue = true;
    m_recordTimer.setEnabled(true);
}

void AlarmEvaluation::onSensorStop()
{
    for (Quantity q : {Quantity::T, Quantity::TP, Quantity::T_TP, Quantity::RH})
        m_watch[index(q)].kind = 0;
}

void AlarmEvaluation::onThreadEnd()
{
    if (m_recordWriter.heldSets() == 0)
        return;
    const QByteArray &id = m_core.config.StationId;
    m_recordWriter.writeHeldAtEnd(m_core, MeasureRecords::fileName(id, m_core.clock().localDateTime()),
                                  m_core.state.TransferBusy.load());
}

void AlarmEvaluation::markTemperatureImplausible(double T)
{
    Watch &w = m_watch[index(Quantity::T)];
    w.previous = w.colour;
    w.colour = ColourState::Red;
    if (T >= MeasureRecords::PlausibleMax)
        m_core.state.AlarmT.MaxLimit = MeasureRecords::PlausibleMax;
    if (T <= MeasureRecords::PlausibleMin)
        m_core.state.AlarmT.MinLimit = MeasureRecords::PlausibleMin;
    w.kind = AlarmBit::TempHigh;
}

void AlarmEvaluation::RecordTimerTimer()
{
    m_recordDue = true;
}

// ---------------------------------------------------------------- contacts

void AlarmEvaluation::sampleContacts(std::optional<bool> input1Active,
                                     std::optional<bool> input2Active, bool sensorFault)
{
    sampleContact(1, input1Active, sensorFault);
    sampleContact(2, input2Active, sensorFault);
    flushView();
}

void AlarmEvaluation::sampleContact(int input, std::optional<bool> active, bool sensorFault)
{
    StationState &s = m_core.state;
    InputAlarm &alarm = input == 1 ? s.AlarmRI : s.AlarmDC;
    const bool watched = input == 1 ? m_core.config.CheckRI : m_core.config.CheckDC;
    const quint32 bit = input == 1 ? AlarmBit::Input1 : AlarmBit::Input2;

    alarm.Active = 0;
    if (!active)
        return;
    alarm.Active = *active ? 1 : 0;

    bool checked = *active;
    QColor boxColour;
    bool signal = false;
    if (watched && *active) {
        checked = true;
        boxColour = Colours::Red;
        ++alarm.Count;
        if (alarm.Count == 1) {
            alarm.AlarmTime = m_core.clock().tickSeconds();
            s.AlarmFlags |= bit;
            signal = true;
        }
    } else if (watched) {
        checked = false;
        boxColour = Colours::Lime;
        alarm.AlarmTime = 0;
        alarm.Count = 0;
    } else {
        boxColour = Colours::BtnFace;
        alarm.AlarmTime = 0;
        alarm.Count = 0;
    }
    m_pendingView.push_back(
        [input, checked, boxColour](StationView &v) { v.setContactStatus(input, checked, boxColour); });
    if (signal) {
        // A contact alarm is signalled even when the window already shows one.
        const int interval = sensorFault ? 500 : 1500;
        m_pendingView.push_back([interval](StationView &v) { v.signalAlarmWindow(interval, true); });
    }
}

// -------------------------------------------------------------- evaluation

void AlarmEvaluation::evaluate(const EvaluationInput &in)
{
    temperatureColour(in);
    const StationConfig &c = m_core.config;
    StationState &s = m_core.state;
    limitColour(Quantity::TP, in.TP, c.TPMin, c.TPMax, s.AlarmTP, AlarmBit::DewPointLow,
                AlarmBit::DewPointHigh, in.ReadingValid);
    limitColour(Quantity::T_TP, in.T - in.TP, c.TTPMin, c.TTPMax, s.AlarmT_TP,
                AlarmBit::DistanceLow, AlarmBit::DistanceHigh, in.ReadingValid);
    limitColour(Quantity::RH, in.RH, c.RHMin, c.RHMax, s.AlarmRH, AlarmBit::HumidityLow,
                AlarmBit::HumidityHigh, in.ReadingValid);
    cpuColour();

    bool raised = false;
    if (!in.SensorFault) {
        countAndRaise(in, raised);
        contacts(raised);
        display(in);
    }

    if (in.SensorFault || raised) {
        // Whether Timer5 already runs is the window's to say, on its thread.
        const int interval = in.SensorFault ? 500 : 1500;
        m_pendingView.push_back([interval](StationView &v) {
            if (!v.alarmSignalled())
                v.signalAlarmWindow(interval, true);
        });
    }
    // The window changes go before the CPU reading, which may overwrite the
    // CPU display with its own "not available" text.
    flushView();

    if (m_cpuReader)
        m_cpuReader();

    if (!in.SensorFault)
        colourChanges(raised);

    recordsWhenDue(in);
}

void AlarmEvaluation::temperatureColour(const EvaluationInput &in)
{
    Watch &w = m_watch[index(Quantity::T)];
    LimitAlarm &alarm = m_core.state.AlarmT;
    const std::optional<double> min = parseLimit(m_core.config.TempMin);
    const std::optional<double> max = parseLimit(m_core.config.TempMax);

    bool below = false;
    if (min) {
        // An implausible reading is judged by the bounds stored last.
        const double limit = in.ReadingValid ? *min : alarm.MinLimit;
        if (in.T >= limit) {
            w.colour = ColourState::Green;
        } else {
            w.colour = ColourState::Pink;
            alarm.MinLimit = limit;
            w.kind = AlarmBit::TempLow;
            below = true;
        }
    }
    if (max) {
        const double limit = in.ReadingValid ? *max : alarm.MaxLimit;
        if (in.T > limit) {
            w.colour = ColourState::Red;
            alarm.MaxLimit = limit;
            w.kind = AlarmBit::TempHigh;
            temperatureRise(in);
        } else {
            m_lastRiseTemp = -1000.0;
            if (!below)
                w.colour = ColourState::Green;
        }
    }
    if (!min && !max)
        w.colour = ColourState::Green;
}

void AlarmEvaluation::temperatureRise(const EvaluationInput &in)
{
    if (!(static_cast<long double>(in.T) - m_lastRiseTemp > 0.5L) || !in.ReadingValid)
        return;
    if (m_lastRiseTemp > -1000.0) {
        StationState &s = m_core.state;
        const QByteArray text = Text8::cp(EvaluationTexts::RisePrefix) + shown(m_lastRiseTemp)
                                + EvaluationTexts::RiseArrow + shown(in.T);
        m_core.appendStatusLine(text);
        WriteLogLine(m_core, text);
        // The rise counts as a new temperature alarm: raised again below with
        // a new time and value once the delay is reached.
        const quint32 bits = AlarmBit::TempLow | AlarmBit::TempHigh;
        s.AlarmFlags &= ~bits;
        s.ReportedAlarmFlags &= ~bits;
        s.FiledAlarmFlags &= ~bits;
        s.AlarmT.AlarmTime = 0;
    }
    m_lastRiseTemp = in.T;
}

void AlarmEvaluation::limitColour(Quantity q, double value, const QByteArray &minText,
                                  const QByteArray &maxText, LimitAlarm &alarm, quint32 lowBit,
                                  quint32 highBit, bool readingValid)
{
    // Without a valid reading a value with a limit keeps its colour.
    Watch &w = m_watch[index(q)];
    const std::optional<double> min = parseLimit(minText);
    const std::optional<double> max = parseLimit(maxText);

    bool below = false;
    if (min && readingValid) {
        if (value >= *min) {
            w.colour = ColourState::Green;
        } else {
            w.colour = ColourState::Pink;
            alarm.MinLimit = *min;
            w.kind = lowBit;
            below = true;
        }
    }
    if (max && readingValid) {
        if (value > *max) {
            w.colour = ColourState::Red;
            alarm.MaxLimit = *max;
            w.kind = highBit;
        } else if (!below) {
            w.colour = ColourState::Green;
        }
    }
    if (!min && !max)
        w.colour = ColourState::Green;
}

void AlarmEvaluation::cpuColour()
{
    Watch &w = m_watch[index(Quantity::Cpu)];
    w.previous = w.colour;
    if (m_core.state.CpuTemp > m_core.state.CpuTempLimit) {
        w.colour = ColourState::Red;
        w.kind = AlarmBit::Cpu;
    } else {
        w.colour = ColourState::Green;
    }
}

void AlarmEvaluation::countAndRaise(const EvaluationInput &in, bool &raised)
{
    StationState &s = m_core.state;
    qint32 *counts[QuantityCount] = {&s.AlarmT.RedCount, &s.AlarmTP.RedCount,
                                     &s.AlarmT_TP.RedCount, &s.AlarmRH.RedCount,
                                     &s.AlarmCpu.RedCount};
    for (int i = 0; i < QuantityCount; ++i) {
        if (m_watch[i].colour != ColourState::Green)
            ++*counts[i];
        else
            *counts[i] = 0;
    }

    struct Raise
    {
        Quantity q;
        TickSeconds *alarmTime;
        double *valueField;
        double value;
    };
    const Raise order[] = {
        {Quantity::T, &s.AlarmT.AlarmTime, &s.AlarmT.Value, in.T},
        {Quantity::RH, &s.AlarmRH.AlarmTime, &s.AlarmRH.Value, in.RH},
        {Quantity::TP, &s.AlarmTP.AlarmTime, &s.AlarmTP.Value, in.TP},
        {Quantity::T_TP, &s.AlarmT_TP.AlarmTime, &s.AlarmT_TP.Value, in.T - in.TP},
        {Quantity::Cpu, &s.AlarmCpu.AlarmTime, nullptr, 0.0},
    };
    for (const Raise &r : order) {
        const quint32 kind = m_watch[index(r.q)].kind;
        // A kind of 0 (no crossing found since the last reset) has no bit to raise.
        if (*counts[index(r.q)] < s.AlarmDelay || kind == 0 || (s.AlarmFlags & kind) != 0)
            continue;
        s.AlarmFlags |= kind;
        *r.alarmTime = m_core.clock().tickSeconds();
        if (r.valueField)
            *r.valueField = r.value;
        const QByteArray text = Text8::cp(EvaluationTexts::ErrTimePrefix) + s.MeasureTime.get();
        m_pendingView.push_back([text](StationView &v) { v.setLastError(text, Colours::Red); });
        raised = true;
    }
}

void AlarmEvaluation::contacts(bool &raised)
{
    StationState &s = m_core.state;
    for (int input = 1; input <= 2; ++input) {
        InputAlarm &alarm = input == 1 ? s.AlarmRI : s.AlarmDC;
        const bool watched = input == 1 ? m_core.config.CheckRI : m_core.config.CheckDC;
        const quint32 bit = input == 1 ? AlarmBit::Input1 : AlarmBit::Input2;
        m_contactColour[input - 1] =
            watched && alarm.Active == 1 ? ColourState::Red : ColourState::Green;
        // Latched turns 1 with the input and stays 1 until the records are written.
        if (alarm.Active == 1 || alarm.Latched == 0)
            alarm.Latched = alarm.Active;
        if (alarm.Latched == 1 && watched && (s.AlarmFlags & bit) != 0 && alarm.AlarmTime == 0)
            raised = true;
    }
}

void AlarmEvaluation::display(const EvaluationInput &in)
{
    const StationState &s = m_core.state;
    if (s.CpuTemp > 0) {
        const QByteArray text = QByteArray::number(s.CpuTemp);
        const QColor font = colourOf(colour(Quantity::Cpu));
        m_pendingView.push_back([text, font](StationView &v) {
            v.setValueText(ValueDisplay::CpuTemp, text);
            v.setValueBackground(ValueDisplay::CpuTemp, kWindowBackground);
            v.setValueColour(ValueDisplay::CpuTemp, font);
        });
    } else {
        const QByteArray text = Text8::cp(EvaluationTexts::CpuNotAvailable);
        m_pendingView.push_back([text](StationView &v) {
            v.setValueText(ValueDisplay::CpuTemp, text);
            v.setValueBackground(ValueDisplay::CpuTemp, Colours::Silver);
            v.setValueColour(ValueDisplay::CpuTemp, Colours::Black);
        });
    }

    const struct
    {
        Quantity q;
        double value;
    } values[] = {{Quantity::T, in.T}, {Quantity::TP, in.TP}, {Quantity::RH, in.RH},
                  {Quantity::T_TP, in.T - in.TP}};
    for (const auto &entry : values) {
        const ValueDisplay field = kTexts[index(entry.q)].display;
        const QByteArray text = shown(entry.value);
        const QColor font = colourOf(colour(entry.q));
        m_pendingView.push_back([field, text, font](StationView &v) {
            v.setValueText(field, text);
            v.setValueColour(field, font);
        });
    }

    const QByteArray when = Text8::cp(EvaluationTexts::MeasureTimePrefix) + s.MeasureTime.get();
    m_pendingView.push_back([when](StationView &v) { v.setLastConnectionText(when); });
}

void AlarmEvaluation::colourChanges(bool raised)
{
    StationState &s = m_core.state;
    for (int i = 0; i < QuantityCount; ++i) {
        Watch &w = m_watch[i];
        if (w.previous == w.colour)
            continue;
        if (!raised) {
            const char *change = nullptr;
            if (w.previous == ColourState::Green) {
                // Away from green only while an alarm of this kind is pending.
                if (w.kind != 0 && (s.AlarmFlags & w.kind) != 0)
                    change = EvaluationTexts::ChangeGreenToRed;
            } else if (w.colour == ColourState::Green) {
                change = EvaluationTexts::ChangeRedToGreen;
            } else {
                // Straight from below the minimum to above the maximum or back.
                change = w.colour == ColourState::Red ? EvaluationTexts::ChangePinkToRed
                                                      : EvaluationTexts::ChangeRedToPink;
            }
            if (change) {
                s.ImmediateReport = true;
                WriteLogLine(m_core, Text8::cp(kTexts[i].word) + Text8::cp(change));
            }
        }
        w.previous = w.colour;
        m_recordDue = true;
    }
}

// ----------------------------------------------------------------- records

void AlarmEvaluation::recordsWhenDue(const EvaluationInput &in)
{
    if (m_recordTimer.poll())
        RecordTimerTimer();

    StationState &s = m_core.state;
    // While the reporting side transfers files the records wait; they are
    // written once by the first evaluation after the transfer.
    if (!m_recordDue.load() || s.TransferBusy.load())
        return;

    // The seven records share one reading of the local date and time, so the
    // set lands whole in one file even at the turn of an hour.
    using namespace MeasureRecords;
    const QDateTime now = m_core.clock().localDateTime();
    const QByteArray &id = m_core.config.StationId;
    QByteArray set;
    set += recordLine(id, 1, in.T, UnitDegree, colour(Quantity::T), now);
    set += recordLine(id, 2, in.RH, UnitPercent, colour(Quantity::RH), now);
    set += recordLine(id, 3, in.TP, UnitDegree, colour(Quantity::TP), now);
    set += recordLine(id, 4, in.T - in.TP, UnitDegree, colour(Quantity::T_TP), now);
    set += recordLine(id, 5, s.AlarmRI.Latched, UnitContact, contactColour(1), now);
    set += recordLine(id, 6, s.AlarmDC.Latched, UnitContact, contactColour(2), now);
    set += recordLine(id, 7, s.CpuTemp, UnitDegree, colour(Quantity::Cpu), now);
    m_recordWriter.write(m_core, fileName(id, now), set);

    m_recordDue = false;
    m_recordTimer.setEnabled(false);
    m_recordTimer.setEnabled(true);
    s.AlarmRI.Latched = 0;
    s.AlarmDC.Latched = 0;
}

void AlarmEvaluation::flushView()
{
    if (m_pendingView.empty())
        return;
    std::vector<ViewChange> changes;
    changes.swap(m_pendingView);
    m_core.onGui([&changes](StationView &v) {
        for (const ViewChange &change : changes)
            change(v);
    });
}
