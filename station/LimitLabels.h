#pragma once

struct StationConfig;
class StationWindow;

// The main window's four limit labels from the thresholds: "min: " + minimum
// + unit and "max: " + maximum + unit, each part only when its threshold is
// not blank; the units ("°C  ", "%  ") end in two blanks.
void FillLimitLabels(const StationConfig &config, StationWindow &window);
