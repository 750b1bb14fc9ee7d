#pragma once

#include <QByteArray>
#include <QList>

// The configuration dialog's text controls: the eight threshold edits, the
// identifier, the server box, the interval, the CPU distance and the port box.
enum class ConfigField {
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
    CPUMAXTemp,
    ComPort
};

// Its check boxes: the four contact flags and the manual identifier box
// (CheckBox1).
enum class ConfigFlag { Rx, RI, DC, Cts, ManualId };

// What the configuration dialog's logic (ConfigSettings) does to the dialog
// and to the main window beyond StationWindow. GUI thread only; the Qt dialog
// implements it. Setting a control from here runs none of its handlers.
class ConfigDialogView
{
public:
    virtual ~ConfigDialogView() = default;

    virtual QByteArray fieldText(ConfigField field) const = 0;
    virtual void setFieldText(ConfigField field, const QByteArray &text) = 0;
    // Gives the control the input focus.
    virtual void focusField(ConfigField field) = 0;
    virtual bool flag(ConfigFlag flag) const = 0;
    virtual void setFlag(ConfigFlag flag, bool checked) = 0;
    // The identifier edit writable (caption-text background) or read-only
    // (inactive-caption-text background).
    virtual void setIdentifierWritable(bool writable) = 0;
    // The drop-down entries of the server box ("host:port").
    virtual void setServerPresets(const QList<QByteArray> &entries) = 0;

    // Marks the dialog as the main window's configuration dialog window, the
    // one window the supervision tick never closes.
    virtual void markConfigDialogWindow() = 0;
    // The main window's acknowledge command.
    virtual void acknowledge() = 0;
};
