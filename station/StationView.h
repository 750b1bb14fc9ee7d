#pragma once

#include <QByteArray>
#include <QColor>

// The limit labels next to the value displays.
enum class LimitLabel { Temp, TP, T_TP, RH };

// Value displays of the main window.
enum class ValueDisplay { T, TP, T_TP, RH, CpuTemp };

// What the station's logic and worker threads need of the main window. It is
// called on the GUI thread only (workers go through GuiHandover); the Qt
// window implements it, tests use a recording fake. Texts are code-page bytes.
class StationView
{
public:
    virtual ~StationView() = default;

    // Activity list. addStatusListLine returns false when adding failed.
    virtual bool addStatusListLine(const QByteArray &text) = 0;
    virtual void clearStatusList() = 0;

    // LastErrorLabel.
    virtual void setLastError(const QByteArray &text, const QColor &colour) = 0;
    virtual void setLastErrorColour(const QColor &colour) = 0;

    // EditT, EditTP, EditT_TP, EditRH, EditCpuTemp: text, font colour and
    // background colour.
    virtual void setValueText(ValueDisplay field, const QByteArray &text) = 0;
    virtual void setValueColour(ValueDisplay field, const QColor &fontColour) = 0;
    virtual void setValueBackground(ValueDisplay field, const QColor &colour) = 0;

    // LabelLastConnection.
    virtual void setLastConnectionText(const QByteArray &text) = 0;

    // RIStat (input 1) and DCStat (input 2): checked state and colour.
    virtual void setContactStatus(int input, bool checked, const QColor &colour) = 0;

    // The alarm signal: Timer5 at the interval and on, window colour red,
    // Timer2 restarted, window hidden and shown, focus when asked.
    virtual void signalAlarmWindow(int intervalMs, bool focus) = 0;
    // Timer5 is running: the alarm is already signalled.
    virtual bool alarmSignalled() const = 0;
    // After a report: Timer5 off, window colour back to normal, Timer2
    // restarted, the window hidden and shown once so that it repaints; a
    // window that was not showing is hidden again.
    virtual void restoreWindowAfterReport() = 0;

    // IntervallLeft: seconds to the next interval report, or the reporting
    // thread's step marker.
    virtual void setIntervallLeft(const QByteArray &text) = 0;
    // Button3 (quittieren) and the menu items Konfiguration1 and Proxy1,
    // which a report disables and enables together.
    virtual void setReportCommandsEnabled(bool enabled) = 0;

    // What a configuration from the server changes at once: the four limit
    // labels (LabelTempMinMax, LabelTPMinMax, LabelT_TPMinMax,
    // LabelRHMinMax) and the contact watch boxes CheckRI and CheckDC.
    virtual void setLimitText(LimitLabel label, const QByteArray &text) = 0;
    virtual void setContactWatch(bool input1, bool input2) = 0;
    // Timer1, the supervision timer: on or off (Timer1Status), and switched
    // off, given the interval and switched on again, so that its next tick
    // comes after `ms` (the update restart ends the program that way).
    virtual void Timer1Status(bool on) = 0;
    virtual void rearmTimer1(int ms) = 0;
};
