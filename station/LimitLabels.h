#pragma once

#include "station/StationView.h"

#include <QByteArray>

#include <array>

struct StationConfig;
class StationWindow;

// The main window's four limit labels from the thresholds: "min: " + minimum
// + unit and "max: " + maximum + unit, each part only when its threshold is
// not blank; the units ("°C  ", "%  ") end in two blanks. In the order of
// LimitLabel.
std::array<QByteArray, 4> LimitLabelTexts(const StationConfig &config);
void FillLimitLabels(const StationConfig &config, StationWindow &window);
void FillLimitLabels(const StationConfig &config, StationView &view);
