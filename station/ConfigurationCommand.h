#pragma once

class ConfigSettings;
class SensorControl;
class StationCore;
class StationWindow;

// The main window's "Konfiguration" command: re-arms the hiding timer, stops
// a running sensor, shows the configuration dialog modally until it comes
// back without a rejected field, and starts the sensor. GUI thread.
void RunConfigurationCommand(StationCore &core, StationWindow &window, SensorControl &sensor,
                             ConfigSettings &dialog);
