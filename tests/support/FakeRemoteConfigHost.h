#pragma once

#include "viewer/RemoteStationState.h"

// The main window's side of the remote configuration dialog: the shared
// station state and four contact check boxes, as plain values.
class FakeRemoteConfigHost : public RemoteConfigHost
{
public:
    RemoteStationState &remoteState() override { return state; }
    ContactChecks contactChecks() const override { return checks; }
    void setContactChecks(const ContactChecks &c) override
    {
        checks = c;
        ++contactWrites;
    }

    // A station's copy as a typical station sends it: every limit set, a
    // CPU at 85 degrees and input 1 (RI) watched.
    void holdTypicalStation()
    {
        RemoteStationConfig &c = state.config;
        c.TempMin = "5";
        c.TempMax = "30";
        c.TPMin = "-2";
        c.TPMax = "20";
        c.TTPMin = "1";
        c.TTPMax = "15";
        c.RHMin = "10";
        c.RHMax = "90";
        c.StationId = "ABC1234";
        c.ComPort = "COM3:";
        c.Server = "127.0.0.1:2000";
        c.AlarmInterval = "4";
        c.CpuMaxTempDistance = "10";
        state.StationTjMax = 85;
        checks = {false, true, false, false};
    }

    RemoteStationState state;
    ContactChecks checks;
    int contactWrites = 0;
};
