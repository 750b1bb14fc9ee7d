#pragma once

#include "common/Clock.h"
#include "station/StationPlatform.h"

// A platform context for the core under test: its clock and, when given,
// where its notices go; every other member empty.
inline StationPlatform platformWith(Clock &clock, NoticeSink *notices = nullptr)
{
    StationPlatform p;
    p.clock = &clock;
    p.notices = notices;
    return p;
}

// Hands the clock to a window's core, keeping the rest of its platform.
template <class Window> void useClock(Window &w, Clock &clock)
{
    StationPlatform p = w.platform();
    p.clock = &clock;
    w.setPlatform(p);
}
