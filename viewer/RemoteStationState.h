#pragma once

#include <QRecursiveMutex>
#include <QString>

#include <atomic>

// The viewer's copy of one station's settings: taken over from the station's
// measurement messages, edited in the remote configuration dialog and sent
// back to the station by the connection thread.
struct RemoteStationConfig
{
    QString TempMin, TempMax;
    QString TPMin, TPMax;
    QString TTPMin, TTPMax;
    QString RHMin, RHMax;
    QString StationId;          // upper case, without the "$$$" suffix
    QString ComPort;            // sent back unchanged
    QString Server;             // host ":" port
    QString AlarmInterval;      // hours
    QString CpuMaxTempDistance; // degrees below StationTjMax
};

// State that the main window, its connection thread and the remote
// configuration dialog share. `config`, `StationTjMax` and `StationIdLocked`
// are read and written only while `ConfigSection` is held (re-entrant: each
// holder takes it once and releases it once; the connection thread never
// waits for the GUI thread while it holds it).
struct RemoteStationState
{
    QRecursiveMutex ConfigSection;
    RemoteStationConfig config;
    qint32 StationTjMax = 0;
    bool StationIdLocked = true;

    // 0: received settings are taken over; 1: the dialog is open or its
    // values are pending; 2: the dialog has closed, its values are to be sent.
    std::atomic<int> ConfigState{0};
    std::atomic<bool> ConfigSendRequested{false};
};

// The main window's four contact check boxes (CheckRX, CheckRI, CheckDC,
// CheckCTS), as the remote configuration dialog loads and writes them back.
struct ContactChecks
{
    bool rx = false;
    bool ri = false;
    bool dc = false;
    bool cts = false;
};

// What the remote configuration dialog needs of the main window. Called in
// the GUI thread only.
class RemoteConfigHost
{
public:
    virtual ~RemoteConfigHost() = default;
    virtual RemoteStationState &remoteState() = 0;
    virtual ContactChecks contactChecks() const = 0;
    virtual void setContactChecks(const ContactChecks &checks) = 0;
};
