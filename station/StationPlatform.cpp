#include "station/StationPlatform.h"

#include "platform/ProcessTable.h"
#include "platform/ServiceStore.h"
#include "platform/Shell.h"

#include <QApplication>

StationPlatform StationPlatform::system()
{
    static LinuxProcessTable processes;
    static DirectoryServiceStore service(DirectoryServiceStore::defaultDirectory());
    static DesktopShell shell;
    StationPlatform p;
    p.processes = &processes;
    p.service = &service;
    p.shell = &shell;
    p.beep = [] { QApplication::beep(); };
    p.quit = [] { QCoreApplication::quit(); };
    p.exit = [](int status) { QCoreApplication::exit(status); };
    p.serialLines = defaultSerialLinesFactory();
    return p;
}
