#include "station/StationPlatform.h"

#include "common/Clock.h"
#include "platform/MsrReader.h"
#include "platform/PortDirectory.h"
#include "platform/ProcessTable.h"
#include "platform/ProgramRestart.h"
#include "platform/ServiceStore.h"
#include "platform/Shell.h"

#include <QCoreApplication>

#include <csignal>

StationPlatform StationPlatform::system()
{
    static LinuxProcessTable processes;
    static DirectoryServiceStore service(DirectoryServiceStore::defaultDirectory());
    static DesktopShell shell;
    static DetachedProgramRestart restart;
    StationPlatform p;
    p.processes = &processes;
    p.service = &service;
    p.shell = &shell;
    p.restart = &restart;
    p.restartDelayMs = DetachedProgramRestart::delayMs();
    p.quit = [] { QCoreApplication::quit(); };
    p.exit = [](int status) { QCoreApplication::exit(status); };
    p.serialLines = defaultSerialLinesFactory();
#ifdef SIGPIPE
    // The program's output may be a pipe whose reader is gone: above all
    // for the copy that a restart after a deadlock leaves behind, whose
    // output is its predecessor's. A write there fails instead of ending the
    // station.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Test runs of the program move the viewer port search away from the
    // ports other stations on the machine use.
    bool ok = false;
    const uint base = qEnvironmentVariable("KLIMAWARTE_VIEWER_PORT").toUInt(&ok);
    if (ok && base >= 1 && base <= 65535)
        p.viewerBasePort = static_cast<quint16>(base);
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
