#pragma once

#include <QByteArray>

class StationCore;
class StationWindow;

// The sensor's start and stop (the start button) and the list of the FTDI
// adapters' COM ports in the port box.
class SensorControl
{
public:
    SensorControl(StationCore &core, StationWindow &window)
        : m_core(core)
        , m_window(window)
    {}

    // Stops a running sensor; else checks the port in the port box ("COM1:"
    // to "COM99:") and starts it. GUI thread.
    void toggle();
    // Fills the port box (and the dialog's list) with the adapters' ports.
    void listPorts();

    // "COM" + an integer from 1 to 99 + ":"; a middle part that is not an
    // integer counts as 0.
    static bool isValidSensorPort(const QByteArray &name);

private:
    StationCore &m_core;
    StationWindow &m_window;
};
