#include "station/StationPlatform.h"

#include "common/Clock.h"
#include "platform/MsrReader.h"
#include "platform/PortDirectory.h"
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
    p.exit = [](int status) { QCoreApplication::exit(status); };
    p.serialLines = defaultSerialLinesFactory();
    return p;
}

Clock &StationPlatform::clockOrSystem() const
{
    return clock ? *clock : Clock::system();
}

MsrReader &StationPlatform::msrOrSystem() const
{
    return msr ? *msr : MsrReader::system();
}

const PortDirectory &StationPlatform::portsOrSystem() const
{
    return ports ? *ports : PortDirectory::system();
}
