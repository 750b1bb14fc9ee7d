#pragma once

#include <functional>
#include <optional>

class StationCore;

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
    explicit AlarmEvaluation(StationCore &core);
    ~AlarmEvaluation();

    // Thread start: every colour green, the four limit kinds 0, the rise
    // starting point -1000.0, the record timer armed (5 minutes) with the
    // records due at once.
    void onThreadStart();

    // The port loop found polling switched off: the four limit kinds 0.
    void onSensorStop();

    // The fifth implausible temperature in a row: the temperature's previous
    // colour becomes its current one, the current one red, its kind "above";
    // the plausibility bounds are stored when crossed (T >= 100: MaxLimit
    // 100.0; T <= -25: MinLimit -25.0).
    void markTemperatureImplausible(double T);

    // Contact sampling after each humidity query. An input is active when its
    // modem status bit is clear; nullopt when its status could not be read
    // (the port is closed): the input then counts as inactive.
    void sampleContacts(std::optional<bool> input1Active, std::optional<bool> input2Active,
                        bool sensorFault);

    // One evaluation after the humidity query, including the CPU reading for
    // the next evaluation and the records when due.
    void evaluate(const EvaluationInput &in);

    // Reads the CPU temperature into StationState::CpuTemp (set by the owner).
    void setCpuReader(std::function<void()> reader) { m_cpuReader = std::move(reader); }

private:
    StationCore &m_core;
    std::function<void()> m_cpuReader;
};
