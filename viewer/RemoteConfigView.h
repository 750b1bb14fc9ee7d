#pragma once

#include "viewer/RemoteStationState.h"

#include <QString>

// The remote configuration dialog's text controls: the eight limit edits,
// the identifier, the server box, the alarm interval and the CPU distance.
enum class RemoteConfigField {
    Tmin,
    Tmax,
    TPmin,
    TPmax,
    T_TPmin,
    T_TPmax,
    RHmin,
    RHmax,
    Kennung,
    Heronserver,
    Alarmintervall,
    CPUMaxtemp
};

// Backgrounds of the identifier edit: writable (caption text), read-only
// (inactive caption text), ticked "mod.Kenn." (the system's window colour)
// and cleared "mod.Kenn." (silver).
enum class IdentifierColour { CaptionText, InactiveCaptionText, SystemWindow, Silver };

// What the remote configuration dialog's logic (RemoteConfigSettings) does
// to the dialog. GUI thread only; the Qt dialog implements it. Setting an
// edit's text from here runs none of its checks.
class RemoteConfigView
{
public:
    virtual ~RemoteConfigView() = default;

    virtual QString fieldText(RemoteConfigField field) const = 0;
    virtual void setFieldText(RemoteConfigField field, const QString &text) = 0;
    // Empties the control (a rejected value).
    virtual void clearField(RemoteConfigField field) = 0;
    // Gives the control the input focus.
    virtual void focusField(RemoteConfigField field) = 0;
    // A plain message window; returns when it is closed.
    virtual void showMessage(const QString &text) = 0;

    // The dialog's own four contact check boxes.
    virtual ContactChecks dialogChecks() const = 0;
    virtual void setDialogChecks(const ContactChecks &checks) = 0;

    virtual bool modifyKennung() const = 0;
    // Sets the "mod.Kenn." box; a change of its state runs its click handler
    // as a click does.
    virtual void setModifyKennung(bool checked) = 0;
    virtual void setIdentifierReadOnly(bool readOnly) = 0;
    virtual void colourIdentifier(IdentifierColour colour) = 0;
};
