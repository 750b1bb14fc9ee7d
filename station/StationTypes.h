#pragma once

#include "common/Clock.h"
#include "common/DisplayColours.h"

#include <QtGlobal>

// Alarm bit set: two bits per limit-watched quantity (lower = below the
// minimum, upper = above the maximum) and one bit for each other fault.
namespace AlarmBit {
constexpr quint32 TempLow = 0x1;
constexpr quint32 TempHigh = 0x2;
constexpr quint32 DewPointLow = 0x4;
constexpr quint32 DewPointHigh = 0x8;
constexpr quint32 DistanceLow = 0x10;
constexpr quint32 DistanceHigh = 0x20;
constexpr quint32 HumidityLow = 0x40;
constexpr quint32 HumidityHigh = 0x80;
constexpr quint32 SensorQuery = 0x100;
constexpr quint32 SensorZero = 0x200;
constexpr quint32 Input1 = 0x400;
constexpr quint32 Input2 = 0x800;
constexpr quint32 Cpu = 0x1000;
constexpr quint32 Network = 0x2000;
} // namespace AlarmBit

// Parameter numbers of error records and channel digits of measurement records.
enum class Parameter : int {
    AirTemperature = 1,
    Humidity = 2,
    DewPoint = 3,
    DewPointDistance = 4,
    Input1 = 5,
    Input2 = 6,
    CpuTemperature = 7,
};
