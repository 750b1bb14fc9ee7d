#pragma once

#include "platform/SerialLines.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class Clock;
class MsrReader;
class NoticeSink;
class PortDirectory;
class ProcessTable;
class ProgramRestart;
class QThread;
class StationCore;
class ServiceStore;
class Shell;

// The platform context of the station: the platform layers, process-wide
// services and process-level actions that its core uses, handed to start-up
// and reached by every part through StationCore. Production takes system()
// (the windows add the beep and the notices); tests replace single members
// with doubles. A clock, MSR reader or port directory left empty is this
// machine's.
struct StationPlatform
{
    Clock *clock = nullptr;
    MsrReader *msr = nullptr;
    const PortDirectory *ports = nullptr;
    // Folder of the station log; empty: the working directory.
    QString workingDirectory;
    ProcessTable *processes = nullptr;
    ServiceStore *service = nullptr;
    Shell *shell = nullptr;
    // Replaces and restarts the program after an update, once it has ended.
    ProgramRestart *restart = nullptr;
    // How long after the end of the program the update restart runs.
    int restartDelayMs = 216000;
    // Where the logic shows its modal notices (the windows' message boxes).
    NoticeSink *notices = nullptr;
    std::function<void()> beep;
    // Asks the application to end (leaves the message loop).
    std::function<void()> quit;
    // Asks the application to end with the given exit status.
    std::function<void(int status)> exit;
    // Shows the configuration dialog modally (the configuration loop).
    std::function<void()> showConfigDialog;
    // Opens the sensor port for the measurement thread.
    SerialLinesFactory serialLines;
    // Creates the reporting thread at start-up (the program sets it; the core
    // itself knows no reporting). Empty: the station does not report.
    std::function<std::unique_ptr<QThread>(StationCore &core)> reportThread;
    // The viewer port search: from this port upwards, at most this many.
    quint16 viewerBasePort = 2002;
    int viewerPortTries = 100;

    static StationPlatform system();

    // The members, this machine's where none is set.
    Clock &clockOrSystem() const;
    MsrReader &msrOrSystem() const;
    const PortDirectory &portsOrSystem() const;
};
