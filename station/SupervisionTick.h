#pragma once

#include <QByteArray>

class StationCore;
class StationStartup;
class StationWindow;

// The supervision tick (Timer1): puts the tray icon back, reads the service
// host's control value, ends the program for an update restart or on
// SHUTDOWN, closes a box of the program that nobody answered (and then comes
// again after one second, else after five), closes the about box, and
// restarts the program when the measurement or the reporting thread stopped
// making progress.
class SupervisionTick
{
public:
    // The watchdog's copies and counter are start-up's (it sets their start
    // values).
    SupervisionTick(StationCore &core, StationWindow &window, StationStartup &startup)
        : m_core(core)
        , m_window(window)
        , m_startup(startup)
    {}

    void run();

    // Ticks in a row without both heartbeats moving after which the program
    // starts a new copy of itself and ends.
    static constexpr int DeadlockTicks = 360;

private:
    // TerminateRequested, then up to `rounds` waits of 50 ms for the
    // workers; the update restart beeps before each wait, the other ends
    // after it.
    void waitForWorkers(int rounds, bool beepFirst);
    void endForUpdate();
    void endForShutdown();
    void watchdog();
    void restartProgram();

    StationCore &m_core;
    StationWindow &m_window;
    StationStartup &m_startup;
};
