#pragma once

class StationCore;
class StationWindow;

// The installation mode (command line switch): the questions whether to
// install the service host, its install or uninstall script, and then the
// configuration loop that shows the configuration dialog until a
// configuration file can be read, starts the service when asked and ends
// the program.
class Installation
{
public:
    Installation(StationCore &core, StationWindow &window)
        : m_core(core)
        , m_window(window)
    {}

    // The questions and scripts (FormCreate, before anything else shows).
    void installationSteps();
    // The configuration loop (after the window is shown).
    void configurationLoop();

    bool InstallAsService = false;
    bool StartServiceAfterConfig = false;

private:
    StationCore &m_core;
    StationWindow &m_window;
};
