#pragma once

#include <QByteArray>
#include <QtGlobal>

class MsrReader;
class StationCore;
struct StationState;

// Register that selects the maximum junction temperature (bit 30 of its low
// half) and the thermal status register (digital readout in bits 16..22).
inline constexpr quint32 MsrTemperatureTarget = 0xEE;
inline constexpr quint32 MsrThermStatus = 0x19C;

// Start-up: opens the register access and sets CpuTjMax (85 when bit 30 of
// MSR 0xEE is set, else 100) and CpuTempLimit (CpuTjMax - 5); NoMsrAccess and
// CpuTemp start at 0. A register that cannot be read counts as 0.
void ReadCpuJunctionLimit(StationState &state, MsrReader &msr);

// The CPU limit for a configured distance: CpuTjMax - distance when the text
// is an integer, else `limit` unchanged; a result above CpuTjMax or below 10
// becomes CpuTjMax - 3 and the distance text "3".
qint32 CpuLimitFromDistance(qint32 tjMax, qint32 limit, QByteArray &distance);

// The measurement thread's CPU reading. Runs while the caller holds the
// shared-data semaphore; its messages are posted to the GUI thread, so the
// thread never waits for the user while it holds the semaphore.
class CpuTemperature
{
public:
    CpuTemperature(StationCore &core, MsrReader &msr)
        : m_core(core)
        , m_msr(msr)
    {}

    // The low 32 bits of the thermal status register, or 0 when nothing was
    // read. Missing registers or an exception show their message once; after
    // it no register is read again in this run. A read that merely fails
    // gives 0 and is tried again next time.
    qint32 ReadCpuThermStatus();

    // The reading of one evaluation: CpuTemp := CpuTjMax - readout; no
    // reading shows "<nicht verfügbar>" and keeps the last CpuTemp.
    void readForEvaluation();

private:
    void showOnce(const char *text);

    StationCore &m_core;
    MsrReader &m_msr;
};
