#pragma once

#include "platform/SerialLines.h"

#include <QtGlobal>

#include <functional>

class ProcessTable;
class ServiceStore;
class Shell;

// The platform layers and process-level actions that the station's start-up,
// supervision and shut-down use. Production takes system(); tests replace
// single members with doubles.
struct StationPlatform
{
    ProcessTable *processes = nullptr;
    ServiceStore *service = nullptr;
    Shell *shell = nullptr;
    std::function<void()> beep;
    // Asks the application to end (leaves the message loop).
    std::function<void()> quit;
    // Asks the application to end with the given exit status.
    std::function<void(int status)> exit;
    // Shows the configuration dialog modally (the configuration loop).
    std::function<void()> showConfigDialog;
    // Opens the sensor port for the measurement thread.
    SerialLinesFactory serialLines;
    // The viewer port search: from this port upwards, at most this many.
    quint16 viewerBasePort = 2002;
    int viewerPortTries = 100;

    static StationPlatform system();
};
