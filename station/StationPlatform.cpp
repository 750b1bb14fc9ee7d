#include "station/StationPlatform.h"

#include "platform/ProcessTable.h"
#include "platform/ServiceStore.h"
#include "platform/Shell.h"

#include <QCoreApplication>

StationPlatform StationPlatform::system()
{
    static LinuxProcessTable processes;
    static DirectoryServiceStore service(DirectoryServiceStore::defaultDirectory());
    static DesktopShell shell;
    StationPlatform p;
    p.processes = &processes;
    p.service = &service;
    p.shell = &shell;
    p.quit = [] { QCoreApplication::quit(); };
    p.serialLines = defaultSerialLinesFactory();
    return p;
}
