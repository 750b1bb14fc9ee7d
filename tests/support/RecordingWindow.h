#pragma once

#include "station/StationWindow.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <map>

// A StationWindow that records what start-up, supervision and the sensor
// start do to the window, for tests of the core without widgets.
class RecordingWindow : public StationWindow
{
public:
    struct Timer
    {
        bool active = false;
        int interval = 0;
    };

    void setCaption(const QByteArray &text) override { captions.append(text); }
    void setLimitText(LimitLabel label, const QByteArray &text) override { limits[label] = text; }
    void setServerDisplay(const QByteArray &text) override { serverDisplay = text; }
    void setContactWatch(bool input1, bool input2) override
    {
        watch1 = input1;
        watch2 = input2;
    }
    bool testMode() const override { return testModeChecked; }
    void setPortList(const QList<QByteArray> &list) override { ports = list; }
    QByteArray firstListedPort() const override { return ports.isEmpty() ? QByteArray() : ports.first(); }
    QByteArray portText() const override { return port; }
    void setPortText(const QByteArray &text) override { port = text; }
    QByteArray startButtonCaption() const override { return startCaption; }
    void setStartButtonCaption(const QByteArray &text) override { startCaption = text; }
    void setControlEnabled(SensorControlItem item, bool enabled) override { controls[item] = enabled; }
    void startWindowTimer(StationTimer timer) override { timers[timer].active = true; }
    void stopWindowTimer(StationTimer timer) override { timers[timer].active = false; }
    void setWindowTimerInterval(StationTimer timer, int ms) override { timers[timer].interval = ms; }
    void setTimer1RestartBeforeNotices(bool on) override { restartBeforeNotices = on; }
    bool closeOwnOpenBox() override
    {
        ++closeCalls;
        return openBoxes > 0 && openBoxes-- > 0;
    }
    void showConfigDialog() override { ++configDialogs; }
    void runLater(std::function<void()> work) override { later.append(std::move(work)); }
    void addTrayIcon() override { ++trayAdds; }
    void removeTrayIcon() override { ++trayRemovals; }
    bool aboutBoxShowing() const override { return aboutShowing; }
    void closeAboutBox() override
    {
        aboutShowing = false;
        timers[StationTimer::Timer1].interval = 5000;
    }

    QList<QByteArray> captions;
    std::map<LimitLabel, QByteArray> limits;
    QByteArray serverDisplay;
    bool watch1 = false;
    bool watch2 = false;
    bool testModeChecked = false;
    QList<QByteArray> ports;
    QByteArray port;
    QByteArray startCaption = "Start Sensor";
    std::map<SensorControlItem, bool> controls;
    std::map<StationTimer, Timer> timers;
    bool restartBeforeNotices = false;
    int openBoxes = 0; // boxes the supervision tick finds open
    int closeCalls = 0;
    int configDialogs = 0;
    QList<std::function<void()>> later;
    int trayAdds = 0;
    int trayRemovals = 0;
    bool aboutShowing = false;
};
