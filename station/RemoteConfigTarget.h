#pragma once

#include <QByteArray>

// What a viewer's remote configuration does on the GUI thread: the
// configuration dialog's setters and its save, the main window's server
// display and its start button. The main window implements it (it reaches
// FConfig); the viewer service calls it only inside hand-overs, i.e. on the
// GUI thread, while the connection thread holds SharedDataSemaphore. None of
// these takes the semaphore.
class RemoteConfigTarget
{
public:
    virtual ~RemoteConfigTarget() = default;

    // Setter of configuration item 1 to 17 (TFConfig.RemoteSetTmin to
    // TFConfig.RemoteSetCPUMAXTemp) with the value the connection read for
    // it: the trimmed text; for a flag "-1" or "0" (the text itself when it
    // did not read); for the identifier the one the rule made of it; for the
    // server the stored host ":" port. A text the connection refused comes
    // as received, so that the dialog's check refuses it as well.
    virtual void remoteSet(int item, const QByteArray &value) = 0;
    // TFConfig.RemoteApply: confirms the dialog and saves without a sender.
    virtual void remoteApply() = 0;
    // EditServerDisplay.
    virtual void showServerHost(const QByteArray &host) = 0;
    // Button1Click: stops a running sensor, else starts it (with the port
    // check).
    virtual void clickStartButton() = 0;
};
