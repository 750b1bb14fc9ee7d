#pragma once

#include <functional>

class SensorControl;
class StationCore;
class StationWindow;

// The main window's menu commands beside the configuration (GUI thread).

// Timer2 off, 1000000 ms, on: the window hides 1000 s after a command.
void RearmHidingTimer(StationWindow &window);

// "Proxy": stops a running sensor, shows the proxy dialog modally and starts
// the sensor (also when it was stopped before).
void RunProxyCommand(StationCore &core, StationWindow &window, SensorControl &sensor,
                     const std::function<void()> &showProxyDialog);

// "Geräte-Manager": stops a running sensor and opens hidden_dev.bat in the
// working directory under the caption "HILFE-ANWEISUNG"; a failure gives a
// notice. The sensor stays stopped.
void RunDeviceManagerCommand(StationCore &core, SensorControl &sensor,
                             const std::function<void()> &restartTimer1);

// "Info": Timer1 off, 50 ms, 20000 ms, on; shows the about box modally, which
// the next supervision tick closes.
void RunInfoCommand(StationCore &core, StationWindow &window, const std::function<void()> &showAboutBox);
