#include "station/CpuTemperature.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "platform/MsrReader.h"
#include "station/ConfigTexts.h"
#include "station/StationCore.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr quint32 LowerJunctionBit = 1u << 30;

} // namespace

void ReadCpuJunctionLimit(StationState &state, MsrReader &msr)
{
    state.NoMsrAccess = false;
    state.CpuTemp = 0;
    quint32 low = 0;
    try {
        msr.open();
        low = static_cast<quint32>(msr.read(MsrTemperatureTarget).value_or(0));
    } catch (...) {
        low = 0;
    }
    if (low & LowerJunctionBit) {
        state.CpuTjMax = 85;
        state.CpuTempLimit = 80;
    } else {
        state.CpuTjMax = 100;
        state.CpuTempLimit = 95;
    }
}

qint32 CpuLimitFromDistance(qint32 tjMax, qint32 limit, QByteArray &distance)
{
    if (const auto d = ConfigFormat::toInteger(distance))
        limit = static_cast<qint32>(std::clamp<qint64>(qint64(tjMax) - *d, INT32_MIN, INT32_MAX));
    if (limit > tjMax || limit < 10) {
        limit = tjMax - 3;
        distance = "3";
    }
    return limit;
}

void CpuTemperature::showOnce(const char *text)
{
    m_core.state.NoMsrAccess = true;
    const QByteArray message = Text8::cp(text);
    // Posted, not waited for: the measurement thread holds the semaphore.
    // Hand-overs queued while the box is open are served by its event loop.
    m_core.handover.postToGui([&core = m_core, message] { core.notify(message); });
}

qint32 CpuTemperature::ReadCpuThermStatus()
{
    if (m_core.state.NoMsrAccess)
        return 0;
    quint32 low = 0;
    try {
        if (!m_msr.isMsr()) {
            showOnce(ConfigTexts::NoMsrAccess);
            return 0;
        }
        // A read that fails without an exception gives no value this time
        // and is tried again at the next evaluation.
        low = static_cast<quint32>(m_msr.read(MsrThermStatus).value_or(0));
    } catch (...) {
        showOnce(ConfigTexts::NoMsr19C);
        return 0;
    }
    return static_cast<qint32>(low);
}

void CpuTemperature::readForEvaluation()
{
    QByteArray display;
    try {
        const quint32 r = static_cast<quint32>(ReadCpuThermStatus());
        if (r == 0)
            display = Text8::cp(ConfigTexts::CpuNotAvailable);
        else
            m_core.state.CpuTemp = m_core.state.CpuTjMax.load() - static_cast<qint32>((r >> 16) & 0x7F);
    } catch (...) {
        display = Text8::cp(ConfigTexts::CpuReadFailed);
    }
    if (!display.isEmpty())
        m_core.onGui([display](StationView &view) { view.setValueText(ValueDisplay::CpuTemp, display); });
}
