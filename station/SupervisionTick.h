#pragma once

class StationCore;
class StationWindow;

// The supervision tick (Timer1): reads the service host's control value and
// ends the program on SHUTDOWN; closes a box of the program that nobody
// answered and then comes again after one second, else after five.
class SupervisionTick
{
public:
    SupervisionTick(StationCore &core, StationWindow &window)
        : m_core(core)
        , m_window(window)
    {}

    void run();

private:
    StationCore &m_core;
    StationWindow &m_window;
};
