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

    RemoteStationState state;
    ContactChecks checks;
    int contactWrites = 0;
};
