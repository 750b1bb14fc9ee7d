#pragma once

#include "common/ProxyConfigFile.h"

#include <QByteArray>
#include <QtGlobal>

// The station's live settings, held by the main window. Texts are code-page
// bytes as the user typed them. Worker threads read the thresholds only while
// holding SharedDataSemaphore; the configuration dialog writes them under it.
struct StationConfig
{
    // Threshold texts; empty or a single blank means no limit.
    QByteArray TempMin, TempMax;
    QByteArray TPMin, TPMax;
    QByteArray TTPMin, TTPMax;
    QByteArray RHMin, RHMax;

    QByteArray StationId; // 7 characters
    bool ManualStationId = false;
    QByteArray ComPort; // "COM" + number + ":"
    QByteArray CpuMaxTempDistance;
    QByteArray ServerHost;
    QByteArray ServerPort = "2000";
    QByteArray AlarmInterval;

    // Contact watch flags: CheckRI and CheckDC switch the watching of inputs
    // 1 and 2 on; CheckRX and CheckCTS are only stored and exchanged.
    bool CheckRX = false;
    bool CheckRI = false;
    bool CheckDC = false;
    bool CheckCTS = false;

    ProxySettings Proxy;

    bool operator==(const StationConfig &) const = default;
};
