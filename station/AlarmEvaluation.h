#pragma once

#include "station/MeasureRecords.h"
#include "station/StationTypes.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class StationCore;
class StationView;
struct LimitAlarm;
struct InputAlarm;

// Values of one evaluation, as the measurement cycle leaves them after the
// conversion and the plausibility step.
struct EvaluationInput
{
    double T = 0.0;
    double RH = 0.0;
    double TP = 0.0;
    bool ReadingValid = true;
    bool SensorFault = false;
};

// The alarm evaluation of the measurement thread: colours, alarm counting and
// raising, contacts, displays, colour-change messages and the measurement
// records. Holds the evaluation's own state across passes (colours, kinds,
// the rise starting point, the record timer). Free of widgets and threads:
// every call runs on the measurement thread while it holds the shared-data
// semaphore, and window changes go through StationCore.
class AlarmEvaluation
{
public:
    // The watched quantities, in the order of the colour-change messages.
    enum class Quantity { T, TP, T_TP, RH, Cpu };
    static constexpr int QuantityCount = 5;

    explicit AlarmEvaluation(StationCore &core);
    ~AlarmEvaluation();

    // Thread start: every colour green, the four limit kinds 0, the rise
    // starting point -1000.0, the record timer armed (5 minutes) with the
    // records due at once.
    void onThreadStart();

    // The port loop found polling switched off: the four limit kinds 0.
    void onSensorStop();

    // The thread ends with the program: the record sets held back are
    // written to the current record file, or counted as lost in the log
    // when they cannot be (also while the reporting side still transfers the
    // record files). A set that is due is not written, as at any other end.
    void onThreadEnd();

    // The fifth implausible temperature in a row: the temperature's previous
    // colour becomes its current one, the current one red, its kind "above";
    // the plausibility bounds are stored when crossed (T >= 100: MaxLimit
    // 100.0; T <= -25: MinLimit -25.0).
    void markTemperatureImplausible(double T);

    // Contact sampling after each humidity query. An input is active when its
    // modem status bit is clear; nullopt when its status could not be read
    // (the port is closed): nothing is known about the input then, so its
    // count, alarm time and status box stay as they are and only its Active
    // flag is 0.
    void sampleContacts(std::optional<bool> input1Active, std::optional<bool> input2Active,
                        bool sensorFault);

    // One evaluation after the humidity query, including the CPU reading for
    // the next evaluation and the records when due.
    void evaluate(const EvaluationInput &in);

    // Reads the CPU temperature into StationState::CpuTemp (set by the owner).
    void setCpuReader(std::function<void()> reader) { m_cpuReader = std::move(reader); }

    // Handler of the record timer: the records are due at the next
    // evaluation. The timer is polled on the station's clock at every
    // evaluation, so this runs on the measurement thread; it may be called
    // from any thread.
    void RecordTimerTimer();

    // State for the records and for tests.
    ColourState colour(Quantity q) const { return m_watch[index(q)].colour; }
    ColourState previousColour(Quantity q) const { return m_watch[index(q)].previous; }
    quint32 kind(Quantity q) const { return m_watch[index(q)].kind; }
    // Input 1 (RING) or 2 (DCD): green, or red while watched and active.
    ColourState contactColour(int input) const { return m_contactColour[input == 1 ? 0 : 1]; }
    double lastRiseTemp() const { return m_lastRiseTemp; }
    bool recordDue() const { return m_recordDue.load(); }
    const RecordTimer &recordTimer() const { return m_recordTimer; }
    const MeasureRecordWriter &recordWriter() const { return m_recordWriter; }

private:
    struct Watch
    {
        ColourState colour = ColourState::Green;
        ColourState previous = ColourState::Green;
        quint32 kind = 0; // alarm bit of the last limit crossing found
    };
    using ViewChange = std::function<void(StationView &)>;

    static int index(Quantity q) { return static_cast<int>(q); }

    void temperatureColour(const EvaluationInput &in);
    void temperatureRise(const EvaluationInput &in);
    void limitColour(Quantity q, double value, const QByteArray &minText,
                     const QByteArray &maxText, LimitAlarm &alarm, quint32 lowBit,
                     quint32 highBit, bool readingValid);
    void cpuColour();
    void countAndRaise(const EvaluationInput &in, bool &raised);
    void contacts(bool &raised);
    void display(const EvaluationInput &in);
    void colourChanges(bool raised);
    void recordsWhenDue(const EvaluationInput &in);
    void sampleContact(int input, std::optional<bool> active, bool sensorFault);
    void flushView();

    StationCore &m_core;
    std::function<void()> m_cpuReader;

    Watch m_watch[QuantityCount];
    ColourState m_contactColour[2] = {ColourState::Green, ColourState::Green};
    double m_lastRiseTemp = -1000.0;

    RecordTimer m_recordTimer;
    MeasureRecordWriter m_recordWriter;
    std::atomic<bool> m_recordDue{false};

    // Window changes of one evaluation, carried to the GUI thread together.
    std::vector<ViewChange> m_pendingView;
};
