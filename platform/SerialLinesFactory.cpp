#include "platform/QtSerialLines.h"
#include "platform/SerialLines.h"
#include "platform/SimulatedSensorStick.h"

SerialLinesFactory defaultSerialLinesFactory()
{
    return [](const QByteArray &devicePath) -> std::unique_ptr<SerialLines> {
        if (SensorSimulation::enabled() && devicePath.toUpper() == SensorSimulation::DevicePath)
            return std::make_unique<SimulatedSensorPort>(SensorSimulation::processStick());
        return std::make_unique<QtSerialLines>(devicePath);
    };
}
