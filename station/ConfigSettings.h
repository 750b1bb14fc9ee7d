#pragma once

#include "station/ConfigDialogView.h"

#include <QByteArray>
#include <QList>

class StationCore;
class StationWindow;

// The logic of the configuration dialog FConfig: its field checks, the copy
// of the confirmed fields into StationConfig, the save, and the remote
// configuration's setters. The Qt dialog is its view (ConfigDialogView); the
// main window is reached through StationWindow. GUI thread only.
//
// `sender` is the mode switch of every field handler and of the save: with a
// sender (the operator left a field, the dialog closed) the checks show their
// messages, move the focus and take SharedDataSemaphore while they write
// StationConfig; without one (the remote path, whose viewer connection thread
// already holds the semaphore) they take no semaphore and show only the
// empty-server warning and the interval's range message.
class ConfigSettings
{
public:
    ConfigSettings(StationCore &core, StationWindow &window, ConfigDialogView &view,
                   const QByteArray &captionPrefix);

    // 1 while the dialog's contents are not confirmed: the field handlers
    // check but copy nothing, the save saves nothing.
    bool ConfigUnconfirmed = true;
    // Set by a rejected field; while set the save writes no file. Cleared by
    // formCreate and by the callers before they show the dialog; a remote
    // configuration's save looks at its own rejections only.
    bool InputRejected = false;

    // Field handlers (exit of their control; also run by the save).
    void thresholdExit(ConfigField field, bool sender);
    void kennungExit(bool sender);
    void heronserverExit(bool sender);
    void alarmintervallExit(bool sender);
    void cpuMaxTempExit(bool sender);

    void formCreate();
    // The dialog becomes active: the controls are loaded from the settings.
    void formActivate();
    // The save, when the dialog stops being active.
    void formDeactivate(bool sender);
    // OK: false (with its message) while the reporting thread holds the
    // update files; the dialog then stays open.
    bool okClick();
    void cancelClick();
    void checkBox1Click();
    // The operator chose or typed a port.
    void comSelectChange();

    // The drop-down entries of the server box: the stand-in server on this
    // machine and the configured server.
    QList<QByteArray> serverPresets() const;

    // Remote configuration, item 1 to 17 of the viewer's configuration
    // message in its order (thresholds Tmin, Tmax, TPmin, TPmax, T_TPmin,
    // T_TPmax, RHmin, RHmax; flags Rx, RI, DC, Cts; identifier; server; port;
    // interval; CPU distance): fills the control with `value` (see
    // RemoteConfigTarget::remoteSet; the port is ignored). remoteApply
    // confirms and saves without a sender. Called in a hand-over of a viewer
    // connection thread that holds SharedDataSemaphore; none takes it.
    static constexpr int RemoteItemCount = 17;
    void remoteSet(int item, const QByteArray &value);
    void remoteApply();

private:
    void reject(ConfigField field, bool sender, const char *message);
    bool emptiedByRejection(ConfigField field, const QByteArray &text);
    void setManualBox(bool checked);

    StationCore &m_core;
    StationWindow &m_window;
    ConfigDialogView &m_view;
    const QByteArray &m_captionPrefix;
    // Fields that a rejection emptied and nobody has filled since: the save
    // keeps their previous setting instead of taking the empty edit as "no
    // limit" or interval 0.
    QList<ConfigField> m_emptied;
    // What the identifier rule showed last.
    QByteArray m_ruledId;
};
