#pragma once

#include "station/StationView.h"

#include <QByteArray>
#include <QList>

#include <functional>

// The main window's timers that the start-up and the supervision drive.
enum class StationTimer { Timer1, Timer2 };


// Controls that the sensor start and stop enable and disable.
enum class SensorControlItem { Button2, Button4, Edit1 };

// What start-up, installation, supervision and the sensor start and stop do
// to the main window beyond the workers' StationView: caption, labels, the
// port list, the timers, the start button, the program's own open boxes. GUI
// thread only; the Qt window implements it. Texts are code-page bytes.
class StationWindow
{
public:
    virtual ~StationWindow() = default;

    virtual void setCaption(const QByteArray &text) = 0;
    virtual void setLimitText(LimitLabel label, const QByteArray &text) = 0;
    // EditServerDisplay.
    virtual void setServerDisplay(const QByteArray &text) = 0;
    // CheckRI and CheckDC (display only).
    virtual void setContactWatch(bool input1, bool input2) = 0;
    // The hidden Testmode box.
    virtual bool testMode() const = 0;

    // Edit1 and, while it is open, the configuration dialog's port list: the
    // entries are replaced, the text stays, no change is signalled.
    virtual void setPortList(const QList<QByteArray> &ports) = 0;
    // Edit1's first entry; empty when the list is empty.
    virtual QByteArray firstListedPort() const = 0;
    virtual QByteArray portText() const = 0;
    virtual void setPortText(const QByteArray &text) = 0;

    // Button1's caption and the controls the sensor start disables.
    virtual QByteArray startButtonCaption() const = 0;
    virtual void setStartButtonCaption(const QByteArray &text) = 0;
    virtual void setControlEnabled(SensorControlItem item, bool enabled) = 0;

    virtual void startWindowTimer(StationTimer timer) = 0;
    virtual void stopWindowTimer(StationTimer timer) = 0;
    virtual void setWindowTimerInterval(StationTimer timer, int ms) = 0;
    // Whether every notice first restarts Timer1 (off while someone answers
    // the installation questions).
    virtual void setTimer1RestartBeforeNotices(bool on) = 0;

    // Closes one open message box or dialog of the program that nobody
    // answered (not the configuration dialog); false when there was none.
    virtual bool closeOwnOpenBox() = 0;
    // Shows the configuration dialog modally.
    virtual void showConfigDialog() = 0;
    // Runs `work` from the event loop, once the current handler has returned.
    virtual void runLater(std::function<void()> work) = 0;

    // The tray icon (TaskBarAddIcon; adding it again is harmless) and its
    // removal at shut-down. Failures are swallowed.
    virtual void addTrayIcon() = 0;
    virtual void removeTrayIcon() = 0;
    // The about box: whether it shows, and its close button.
    virtual bool aboutBoxShowing() const = 0;
    virtual void closeAboutBox() = 0;
};
