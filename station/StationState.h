#pragma once

#include "station/LockedText.h"
#include "station/StationTexts.h"
#include "station/StationTypes.h"

#include <QByteArray>

#include <atomic>

// Fields marked (S) are touched by worker threads only while they hold
// SharedDataSemaphore. Fields that several threads use without it are atomics
// or LockedText copies.

struct LimitAlarm
{
    double Value = 0.0;
    double MinLimit = 0.0;
    double MaxLimit = 0.0;
    TickSeconds AlarmTime = 0;     // 0 = no alarm raised
    TickSeconds LastAlarmTime = 0; // saved at expiry; 0 = none
    qint32 RedCount = 0;           // consecutive non-green evaluations
};

struct InputAlarm
{
    TickSeconds AlarmTime = 0;
    qint32 Count = 0;   // queries in a row that found the input active
    qint32 Active = 0;  // state at the last query
    qint32 Latched = 0; // active at some query since the last record write
};

struct SensorAlarm
{
    TickSeconds AlarmTime = 0;
    qint32 SensorErrorCount = 0; // consecutive failed queries
};

struct CpuAlarm
{
    TickSeconds AlarmTime = 0;
    TickSeconds LastAlarmTime = 0;
    qint32 RedCount = 0;
};

struct StationState
{
    // Alarm state (S)
    quint32 AlarmFlags = 0;
    quint32 ReportedAlarmFlags = 0;
    quint32 FiledAlarmFlags = 0;
    LimitAlarm AlarmT;
    LimitAlarm AlarmTP;
    LimitAlarm AlarmT_TP;
    LimitAlarm AlarmRH;
    InputAlarm AlarmRI;
    InputAlarm AlarmDC;
    SensorAlarm AlarmSensor;
    CpuAlarm AlarmCpu;
    qint32 AlarmDelay = 10;

    // Measured values (S)
    qint32 RawTemp = 0;
    qint32 RawHumidity = 0;
    WakingText MeasureTime; // also written and read without the semaphore; wakes the viewer links
    qint32 CpuTemp = 0;     // below 1: no reading
    std::atomic<qint32> CpuTjMax{100};
    qint32 CpuTempLimit = 95;
    bool NoMsrAccess = false; // measurement thread only

    // Reporting and requests
    TickSeconds LastReportTime = 0; // (S)
    LockedText ReportHeartbeat;
    std::atomic<bool> AcknowledgeRequest{false};
    std::atomic<bool> ImmediateReport{false};
    std::atomic<bool> TransferBusy{false};
    std::atomic<bool> RebootAfterUpdate{false};
    std::atomic<bool> UpdateFileLocked{false};

    // Run control and counters
    std::atomic<bool> SensorRunning{false};
    WakingFlag TerminateRequested; // wakes the idle viewer connections when set
    std::atomic<qint32> ActiveThreadCount{0};
    std::atomic<qint32> ConnectionCounter{0};

    // Port and identity
    std::atomic<qint32> ComHandle{-1}; // -1 while the sensor port is closed
    LockedText ComPortName;
    std::atomic<qint32> BaudRate{0};
    std::atomic<qint32> LineInvert{1};
    LockedText DeviceStationId;

    // Status hand-over (S, held across the hand-over to the GUI thread)
    QByteArray StatusText;
};

// State that the window keeps in widgets and worker threads read: mirrored
// here so that no worker touches a widget.
struct WindowMirror
{
    std::atomic<bool> StartButtonStop{false};  // Button1 reads "Stop Sensor"
    std::atomic<bool> ConfigDialogOpen{false}; // own configuration or proxy dialog is open
    // The boxes and the caption that a viewer's measurement message carries:
    // RIStat and DCStat (inputs 1 and 2 active), CheckRI and CheckDC (inputs
    // watched), the caption of LastErrorLabel. The window writes them where
    // it changes the controls.
    std::atomic<bool> RIStat{false};
    std::atomic<bool> CheckRI{false};
    std::atomic<bool> CheckDC{false};
    std::atomic<bool> DCStat{false};
    LockedText LastErrorCaption{QByteArray(StationTexts::LastErrCaption)};
    // UpdatePending: a station update waits for the update restart; the
    // window's destruction then leaves the service control value alone.
    std::atomic<bool> UpdatePending{false};
};
