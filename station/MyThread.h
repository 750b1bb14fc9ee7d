#pragma once

#include "common/SensorConversion.h"
#include "platform/SerialLines.h"
#include "station/AlarmEvaluation.h"
#include "station/SensorBus.h"

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

class StationCore;

// The measurement thread: owns the sensor port, runs the query cycle over
// the sensor bus, converts and checks the readings and hands each evaluation
// to the alarm evaluation.
//
// The body runs as a sequence of steps (step()): one step is one pass of the
// port loop's start, one round of its wait, the opening of the port, or one
// pass of the query loop. Execute() runs them on the thread; tests call
// threadStart() and step() directly, without a thread.
class MyThread : public QThread
{
public:
    MyThread(StationCore &core, SerialLinesFactory factory, QObject *parent = nullptr);
    ~MyThread() override;

    // The thread body.
    void Execute();

    // How long the end of the thread waits for a transfer of the reporting
    // side before it writes the record sets held back: well within the
    // 5 s that every end of the program waits for the workers.
    static constexpr int EndTransferWaitMs = 2000;

    void threadStart();
    // One step of the body; false once the body has to end (terminated).
    bool step();
    void threadEnd();

    // One step of the query cycle (0 temperature, 1 humidity and contacts,
    // 2 idle); returns the next step.
    qint32 QuerySensor(qint32 step, qint32 portOpenCount);

    // The alarm signal on the main window.
    void SignalAlarmWindow(int intervalMs, bool focus);

    static SensorConversion convert(qint32 rawTemp, qint32 rawHumidity, qint32 lineInvert);
    // "\\.\" followed by the port name without its last character.
    static QByteArray devicePath(const QByteArray &comPortName);

    SensorBus &bus() { return m_bus; }
    AlarmEvaluation &evaluation() { return m_evaluation; }

    enum class Phase { PortLoop, PortWait, PortOpen, QueryLoop, Finished };
    Phase phase() const { return m_phase; }

    // Thread state (the fields of the thread object and the locals kept by
    // the body across passes).
    quint8 SensorFault = 0;
    qint32 RoundsSinceAnswer = 0;
    qint32 PortOpenCount = 0;
    qint32 QueryStep = 0;
    qint32 ImplausibleCount = 0;
    bool ReadingValid = true;
    double PreviousTemp = 0.0;
    SensorConversion Values;

    // What the last evaluation handed on, and how many there were.
    EvaluationInput lastEvaluation() const { return m_lastEvaluation; }
    int evaluations() const { return m_evaluations.load(); }
    int humidityQueries() const { return m_humidityQueries.load(); }
    // The contact inputs handed on after the last humidity query.
    std::pair<std::optional<bool>, std::optional<bool>> lastContacts() const { return m_lastContacts; }

protected:
    void run() override { Execute(); }

private:
    bool keepRunning() const;
    void portLoopStart();
    bool portWait();
    void openPort();
    void queryLoopPass();
    void closePort();
    void clearReadings();
    void raiseSensorAlarm(quint32 bit);
    void showLastError(const char *text);
    void evaluate();
    void writeHeldRecords();

    StationCore &m_core;
    SerialLinesFactory m_factory;
    std::unique_ptr<SerialLines> m_lines;
    SensorBus m_bus;
    AlarmEvaluation m_evaluation;
    Phase m_phase = Phase::PortLoop;
    bool m_started = false;
    qint32 m_nextHandle = 1;
    EvaluationInput m_lastEvaluation;
    std::atomic<int> m_evaluations{0};
    std::atomic<int> m_humidityQueries{0};
    std::pair<std::optional<bool>, std::optional<bool>> m_lastContacts;
};
