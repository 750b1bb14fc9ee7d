#include "station/MainCommands.h"

#include "common/Text8.h"
#include "platform/Shell.h"
#include "station/ApplicationTitle.h"
#include "station/SensorControl.h"
#include "station/StationCore.h"
#include "station/StationWindow.h"
#include "station/SupervisionTexts.h"

#include <QDir>

void RearmHidingTimer(StationWindow &window)
{
    window.stopWindowTimer(StationTimer::Timer2);
    window.setWindowTimerInterval(StationTimer::Timer2, 1000000);
    window.startWindowTimer(StationTimer::Timer2);
}

void RunProxyCommand(StationCore &core, StationWindow &window, SensorControl &sensor,
                     const std::function<void()> &showProxyDialog)
{
    RearmHidingTimer(window);
    if (core.mirror.StartButtonStop.load())
        sensor.toggle();
    core.mirror.ConfigDialogOpen = true;
    if (showProxyDialog)
        showProxyDialog();
    core.mirror.ConfigDialogOpen = false;
    sensor.toggle();
}

void RunDeviceManagerCommand(StationCore &core, SensorControl &sensor,
                             const std::function<void()> &restartTimer1)
{
    if (core.mirror.StartButtonStop.load())
        sensor.toggle();
    const QByteArray kept = ApplicationTitle::get().left(255);
    ApplicationTitle::set(SupervisionTexts::DeviceManagerCaption);
    const StationPlatform &platform = core.platform();
    const QString dir = platform.workingDirectory.isEmpty() ? QDir::currentPath() : platform.workingDirectory;
    const int result =
        platform.shell ? platform.shell->open(
                             QDir(dir).filePath(QString::fromLatin1(SupervisionTexts::DeviceManagerBatch)),
                             {}, {}, Shell::Show::Minimized)
                       : Shell::NoAssociation;
    switch (result) {
    case 2:
    case 3:
        core.notify(Text8::cp(SupervisionTexts::DeviceManagerNotFound));
        break;
    case 5:
    case 8:
    case 31:
        core.notify(Text8::cp(SupervisionTexts::DeviceManagerNotRun));
        break;
    default:
        if (restartTimer1)
            restartTimer1();
        break;
    }
    ApplicationTitle::set(kept);
}

void RunInfoCommand(StationCore &core, StationWindow &window, const std::function<void()> &showAboutBox)
{
    RearmHidingTimer(window);
    window.stopWindowTimer(StationTimer::Timer1);
    core.sleep(50);
    window.setWindowTimerInterval(StationTimer::Timer1, 20000);
    window.startWindowTimer(StationTimer::Timer1);
    if (showAboutBox)
        showAboutBox();
}
