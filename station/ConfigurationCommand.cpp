#include "station/ConfigurationCommand.h"

#include "station/ConfigSettings.h"
#include "station/SensorControl.h"
#include "station/StationCore.h"
#include "station/StationWindow.h"

void RunConfigurationCommand(StationCore &core, StationWindow &window, SensorControl &sensor,
                             ConfigSettings &dialog)
{
    // The window hides 1000 s after the command.
    window.stopWindowTimer(StationTimer::Timer2);
    window.setWindowTimerInterval(StationTimer::Timer2, 1000000);
    window.startWindowTimer(StationTimer::Timer2);
    if (core.mirror.StartButtonStop.load())
        sensor.toggle();
    core.mirror.ConfigDialogOpen = true;
    sensor.listPorts();
    // Cleared before every showing: a flag left from the last one would bring
    // the dialog back for good, Abbrechen included.
    do {
        dialog.InputRejected = false;
        window.showConfigDialog();
    } while (dialog.InputRejected);
    core.mirror.ConfigDialogOpen = false;
    sensor.toggle();
}
