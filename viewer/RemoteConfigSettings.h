#pragma once

#include "viewer/RemoteConfigView.h"

class RemoteConfigHost;
struct RemoteStationState;

// The logic of the remote configuration dialog FRemoteConfig: its field
// checks, the load of its controls from the viewer's copy of the station's
// settings (RemoteStationConfig) at activation, the copy back and the send
// request after OK, and the hand-entered identifier's lock. The Qt dialog is
// its view (RemoteConfigView); the main window is reached through
// RemoteConfigHost. GUI thread only.
//
// Every read or write of the copy, StationTjMax and StationIdLocked holds
// the state's ConfigSection (re-entrant): activation and deactivation over
// their whole work, the checks that deactivation runs once more inside.
class RemoteConfigSettings
{
public:
    RemoteConfigSettings(RemoteConfigHost &host, RemoteConfigView &view);

    // Set by a rejected field; while set, OK requests no send (the main
    // window shows the dialog again).
    bool InputRejected() const { return m_inputRejected; }
    void clearInputRejected() { m_inputRejected = false; }
    // True while the dialog's contents are not confirmed with OK: the checks
    // copy nothing (but the empty alarm interval), deactivation does nothing.
    bool ConfigUnconfirmed() const { return m_configUnconfirmed; }

    // Field checks, run when the control is left (the server box has no
    // event of its own) and again by formDeactivate. limitExit takes one of
    // the eight limit fields.
    void limitExit(RemoteConfigField field);
    void alarmintervallExit();
    void cpuMaxtempExit();
    void kennungExit();
    void heronserverExit();

    void formCreate();
    void formActivate();
    void formDeactivate();
    void modifyKennungClick();
    // OK and "Abbruch": the dialog closes after either; only OK lets
    // formDeactivate copy.
    void okClick();
    void cancelClick();

private:
    RemoteStationState &state();
    void reject(RemoteConfigField field, const QString &message);

    RemoteConfigHost &m_host;
    RemoteConfigView &m_view;
    bool m_inputRejected = false;
    bool m_configUnconfirmed = false;
};
