#include "station/MyThread.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/MeasurementTexts.h"
#include "station/StationCore.h"

#include <cmath>
#include <exception>

namespace {

QByteArray now(const Clock &clock)
{
    return LocaleFormat::dateTime(clock.localDateTime());
}

void resetLimitCounts(StationState &s)
{
    s.AlarmT.RedCount = 0;
    s.AlarmTP.RedCount = 0;
    s.AlarmT_TP.RedCount = 0;
    s.AlarmRH.RedCount = 0;
}

} // namespace

MyThread::MyThread(StationCore &core, SerialLinesFactory factory, QObject *parent)
    : QThread(parent)
    , m_core(core)
    , m_factory(std::move(factory))
    , m_bus(core.state.LineInvert, core.clock())
    , m_evaluation(core)
{
    setObjectName(QStringLiteral("MyThread")); // the thread's name in the system's lists
}

MyThread::~MyThread()
{
    requestInterruption();
    // The body may be waiting for a hand-over to the GUI thread: keep
    // running them while waiting for it to end.
    while (isRunning() && !wait(5)) {
        if (m_core.handover.isGuiThread())
            m_core.handover.drain();
    }
    m_bus.setLines(nullptr);
}

void MyThread::Execute()
{
    threadStart();
    while (step()) {
    }
    threadEnd();
}

bool MyThread::keepRunning() const
{
    return !isInterruptionRequested() && !m_core.state.TerminateRequested.load();
}

void MyThread::threadStart()
{
    StationState &s = m_core.state;
    s.ActiveThreadCount.fetch_add(1);
    {
        SharedDataLock lock(m_core.semaphore);
        PortOpenCount = 0;
        RoundsSinceAnswer = 0;
        s.ComHandle = -1;
        s.AlarmSensor.SensorErrorCount = 0;
        s.AlarmDelay = 10;
        QueryStep = 0;
        resetLimitCounts(s);
        s.AlarmCpu.RedCount = 0;
        s.AlarmCpu.AlarmTime = 0;
        for (InputAlarm *in : {&s.AlarmRI, &s.AlarmDC}) {
            in->AlarmTime = 0;
            in->Count = 0;
            in->Latched = 0;
            in->Active = 0;
        }
        m_evaluation.onThreadStart();
    }
    PreviousTemp = 0.0;
    ImplausibleCount = 0;
    m_phase = Phase::PortLoop;
    m_started = true;
}

void MyThread::threadEnd()
{
    closePort();
    m_core.state.ComHandle = -1;
    writeHeldRecords();
    if (m_started) {
        m_core.state.ActiveThreadCount.fetch_sub(1);
        m_started = false;
    }
    m_phase = Phase::Finished;
}

// The record sets held back on a full disk go to the file before the
// program ends; the records belong to this thread, so it writes them, once
// a transfer of the record files is over or has run too long (a file being
// sent is cut afterwards, and with it what was appended meanwhile).
void MyThread::writeHeldRecords()
{
    if (!m_started || m_evaluation.recordWriter().heldSets() == 0)
        return;
    for (int waited = 0; waited < EndTransferWaitMs && m_core.state.TransferBusy.load(); waited += 50)
        m_core.clock().sleep(50);
    SharedDataLock lock(m_core.semaphore);
    m_evaluation.onThreadEnd();
}

bool MyThread::step()
{
    switch (m_phase) {
    case Phase::PortLoop:
        if (!keepRunning())
            break;
        portLoopStart();
        m_phase = Phase::PortWait;
        return true;
    case Phase::PortWait:
        if (!keepRunning())
            break;
        if (portWait())
            return true;
        m_phase = Phase::PortOpen;
        [[fallthrough]];
    case Phase::PortOpen:
        openPort();
        return true;
    case Phase::QueryLoop:
        if (!keepRunning())
            break;
        queryLoopPass();
        return true;
    case Phase::Finished:
        break;
    }
    m_phase = Phase::Finished;
    return false;
}

void MyThread::portLoopStart()
{
    StationState &s = m_core.state;
    ++PortOpenCount;
    if (!s.SensorRunning.load()) {
        SharedDataLock lock(m_core.semaphore);
        QueryStep = 0;
        s.ComHandle = -1;
        s.AlarmSensor.SensorErrorCount = 0;
        s.AlarmDelay = 5;
        resetLimitCounts(s);
        m_evaluation.onSensorStop();
        for (InputAlarm *in : {&s.AlarmRI, &s.AlarmDC}) {
            in->AlarmTime = 0;
            in->Count = 0;
        }
    }
}

// One round of the wait for a port name and polling; true while waiting.
bool MyThread::portWait()
{
    StationState &s = m_core.state;
    if (s.ComPortName.get().isEmpty() || !s.SensorRunning.load()) {
        m_core.clock().sleep(500);
        return true;
    }
    return false;
}

void MyThread::closePort()
{
    m_bus.setLines(nullptr);
    if (m_lines) {
        m_lines->close();
        m_lines.reset();
    }
}

void MyThread::openPort()
{
    StationState &s = m_core.state;
    if (s.ComHandle.load() != -1)
        PortOpenCount = 0;
    closePort();
    s.ComHandle = -1;
    const QByteArray path = devicePath(s.ComPortName.get());

    try {
        {
            SharedDataLock lock(m_core.semaphore);
            if (m_core.mirror.StartButtonStop.load())
                s.SensorRunning = true;
        }
        m_lines = m_factory ? m_factory(path) : nullptr;
        if (m_lines && m_lines->open(s.BaudRate.load())) {
            s.ComHandle = m_nextHandle++;
            m_bus.setLines(m_lines.get());
            SharedDataLock lock(m_core.semaphore);
            m_core.appendStatusLine(Text8::cp(MeasurementTexts::PortActivated));
        } else {
            m_lines.reset();
            m_core.clock().sleep(1000);
            if (PortOpenCount > 5) {
                SharedDataLock lock(m_core.semaphore);
                m_core.appendStatusLine(Text8::cp(MeasurementTexts::InvalidHandle));
            }
        }
    } catch (const std::exception &) {
        {
            SharedDataLock lock(m_core.semaphore);
            s.SensorRunning = false;
            m_core.appendStatusLine(Text8::cp(MeasurementTexts::PortFailed));
        }
        // A port that was opened before configuring it failed is closed
        // again: left open it would stay locked against every later open.
        closePort();
        s.ComHandle = -1;
    }

    if (s.ComHandle.load() == -1) {
        m_core.clock().sleep(500);
        s.MeasureTime = now(m_core.clock());
        m_phase = Phase::PortLoop;
        return;
    }
    m_bus.ClockLow();
    m_bus.ClockHigh();
    m_phase = Phase::QueryLoop;
}

void MyThread::queryLoopPass()
{
    StationState &s = m_core.state;
    if (!s.SensorRunning.load()) {
        m_bus.ClockLow();
        m_bus.DataHigh();
        closePort();
        s.ComHandle = -1;
        PortOpenCount = 0;
        m_phase = Phase::PortLoop;
        return;
    }
    ++RoundsSinceAnswer;
    QueryStep = QuerySensor(QueryStep, PortOpenCount);
    if (s.ComHandle.load() == -1) {
        m_phase = Phase::PortLoop;
        return;
    }
    if (QueryStep == 1) {
        SharedDataLock lock(m_core.semaphore);
        s.RawTemp = m_bus.AnswerHigh * 256 + m_bus.AnswerLow;
    } else if (QueryStep == 2) {
        evaluate();
        m_core.clock().sleep(1);
    }
}

void MyThread::clearReadings()
{
    StationState &s = m_core.state;
    s.RawTemp = 0;
    s.RawHumidity = 0;
    m_bus.AnswerHigh = 0;
    m_bus.AnswerLow = 0;
    m_bus.AnswerCheck = 0;
    s.AlarmDC.Active = 0;
    s.AlarmRI.Active = 0;
    m_core.onGui([](StationView &v) {
        for (ValueDisplay d : {ValueDisplay::T, ValueDisplay::TP, ValueDisplay::T_TP, ValueDisplay::RH})
            v.setValueText(d, " ");
    });
}

void MyThread::showLastError(const char *text)
{
    const QByteArray line = now(m_core.clock()) + Text8::cp(text);
    m_core.onGui([line](StationView &v) { v.setLastError(line, Colours::Red); });
}

// Caller holds the semaphore.
void MyThread::raiseSensorAlarm(quint32 bit)
{
    StationState &s = m_core.state;
    const qint32 count = s.AlarmSensor.SensorErrorCount;
    if ((s.AlarmFlags & bit) == 0 && count >= 250 && count <= 255) {
        s.AlarmSensor.AlarmTime = m_core.clock().tickSeconds();
        s.AlarmFlags |= bit;
        // Whether the alarm is already signalled is Timer5's own state: the
        // acknowledge command and the end of a report stop it on the GUI
        // thread, so a copy kept here could be stale.
        bool signalled = true;
        m_core.onGui([&signalled](StationView &v) { signalled = v.alarmSignalled(); });
        if (!signalled)
            SignalAlarmWindow(500, false);
    }
}

void MyThread::SignalAlarmWindow(int intervalMs, bool focus)
{
    m_core.onGui([intervalMs, focus](StationView &v) { v.signalAlarmWindow(intervalMs, focus); });
}

qint32 MyThread::QuerySensor(qint32 step, qint32 portOpenCount)
{
    if (step == 2)
        return 0;
    StationState &s = m_core.state;
    const bool temperature = step == 0;

    if (!temperature) {
        SharedDataLock lock(m_core.semaphore);
        for (InputAlarm *in : {&s.AlarmRI, &s.AlarmDC})
            if (in->AlarmTime == 0)
                in->Count = 0;
    }

    const qint32 ack =
        m_bus.SendCommand(temperature ? SensorBus::MeasureTemperature : SensorBus::MeasureHumidity);
    if (ack != 0) {
        {
            SharedDataLock lock(m_core.semaphore);
            closePort();
            s.ComHandle = -1;
            m_core.appendStatusLine(Text8::cp(temperature ? MeasurementTexts::NoAckTemperature
                                                          : MeasurementTexts::NoAckHumidity));
            ++s.AlarmSensor.SensorErrorCount;
            raiseSensorAlarm(AlarmBit::SensorQuery);
            clearReadings();
            if (RoundsSinceAnswer > 3) {
                showLastError(temperature ? MeasurementTexts::LabelNoAckTemperature
                                          : MeasurementTexts::LabelNoAckHumidity);
                if (temperature)
                    SensorFault = 1;
            }
        }
        m_core.clock().sleep(500);
    } else {
        m_bus.ReadBytes(3);
        const qint32 b1 = m_bus.AnswerHigh;
        const qint32 b2 = m_bus.AnswerLow;
        const qint32 b3 = m_bus.AnswerCheck;
        {
            SharedDataLock lock(m_core.semaphore);
            QByteArray line = s.MeasureTime.get();
            line += temperature ? MeasurementTexts::AnswerT : MeasurementTexts::AnswerRH;
            line += QByteArray::number(b1) + ':' + QByteArray::number(b2) + ':' +
                    QByteArray::number(temperature ? SensorBus::ReverseBits(b3) : b3);
            m_core.appendStatusLine(line);
        }
        const bool good = b1 != 0 || b2 != 0 || b3 != 0 || (temperature && portOpenCount <= 5);
        SharedDataLock lock(m_core.semaphore);
        if (good) {
            SensorFault = 0;
            s.AlarmSensor.SensorErrorCount = 0;
            s.AlarmSensor.AlarmTime = 0;
        } else {
            m_core.appendStatusLine(Text8::cp(MeasurementTexts::ZeroAnswer));
            ++s.AlarmSensor.SensorErrorCount;
            raiseSensorAlarm(AlarmBit::SensorZero);
            clearReadings();
            if (RoundsSinceAnswer > 3)
                showLastError(MeasurementTexts::LabelPowerFailure);
            closePort();
            s.ComHandle = -1;
            if (temperature)
                SensorFault = 1;
        }
        lock.unlock();
        m_core.clock().sleep(500);
        RoundsSinceAnswer = 0;
    }

    if (!temperature) {
        ++m_humidityQueries;
        // Input 1 on RING, input 2 on DCD, each with its own status read; an
        // input is active while its bit is clear. With the port closed (a
        // failed query) there is no status and the inputs count as inactive.
        auto input = [this](quint32 bit) -> std::optional<bool> {
            if (!m_lines || !m_lines->isOpen())
                return std::nullopt;
            const auto status = m_lines->modemStatus();
            if (!status)
                return std::nullopt;
            return (*status & bit) == 0;
        };
        SharedDataLock lock(m_core.semaphore);
        const std::optional<bool> in1 = input(ModemStatus::Ring);
        const std::optional<bool> in2 = input(ModemStatus::Dcd);
        m_lastContacts = {in1, in2};
        m_evaluation.sampleContacts(in1, in2, SensorFault != 0);
    }
    return step + 1;
}

SensorConversion MyThread::convert(qint32 rawTemp, qint32 rawHumidity, qint32 lineInvert)
{
    return convertSensorReadings<long double>(rawTemp, rawHumidity, lineInvert == 1);
}

QByteArray MyThread::devicePath(const QByteArray &comPortName)
{
    return QByteArray("\\\\.\\") + comPortName.chopped(comPortName.isEmpty() ? 0 : 1);
}

void MyThread::evaluate()
{
    StationState &s = m_core.state;
    SharedDataLock lock(m_core.semaphore);
    s.RawHumidity = m_bus.AnswerHigh * 256 + m_bus.AnswerLow;
    s.MeasureTime = now(m_core.clock());
    Values = convert(s.RawTemp, s.RawHumidity, s.LineInvert.load());
    const double T = Values.T;

    ReadingValid = true;
    if (T >= 100.0 || T < -25.0 || std::fabs(T - PreviousTemp) > 5.0) {
        ++ImplausibleCount;
        if (ImplausibleCount < 5) {
            QueryStep = 0;
            return;
        }
        ReadingValid = false;
        m_evaluation.markTemperatureImplausible(T);
    }
    PreviousTemp = T;
    ImplausibleCount = 0;

    m_lastEvaluation = EvaluationInput{T, Values.RH, Values.TP, ReadingValid, SensorFault != 0};
    ++m_evaluations;
    m_evaluation.evaluate(m_lastEvaluation);
}
