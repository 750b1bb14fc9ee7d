#include "station/AlarmEvaluation.h"

#include "station/StationCore.h"

AlarmEvaluation::AlarmEvaluation(StationCore &core) : m_core(core) {}

AlarmEvaluation::~AlarmEvaluation() = default;

void AlarmEvaluation::onThreadStart() {}

void AlarmEvaluation::onSensorStop() {}

void AlarmEvaluation::markTemperatureImplausible(double) {}

void AlarmEvaluation::sampleContacts(std::optional<bool>, std::optional<bool>, bool) {}

void AlarmEvaluation::evaluate(const EvaluationInput &)
{
    if (m_cpuReader)
        m_cpuReader();
}
