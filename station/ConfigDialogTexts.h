#pragma once

#include "common/ConfigFieldTexts.h"

// Messages of the configuration dialog's checks and buttons (UTF-8 here;
// Text8::cp gives the code-page bytes).
namespace ConfigDialogTexts {

using ConfigFieldTexts::TminNotFloat;
using ConfigFieldTexts::TmaxNotFloat;
using ConfigFieldTexts::TPminNotFloat;
using ConfigFieldTexts::TPmaxNotFloat;
using ConfigFieldTexts::T_TPminNotFloat;
using ConfigFieldTexts::T_TPmaxNotFloat;
using ConfigFieldTexts::RHminNotFloat;
using ConfigFieldTexts::RHmaxNotFloat;

using ConfigFieldTexts::NoServerWarning;
inline constexpr char IntervalNotInteger[] = "Alarmintervall muß eine Ganzzahl von 0 bis 24 sein!";
using ConfigFieldTexts::IntervalOutOfRange;
inline constexpr char CpuDistanceNotInteger[] = "Abstand zur CPU-Max-Temp muss eine Ganzzahl sein!";
// CpuDistanceRangePrefix + CpuTjMax in decimal + CpuDistanceRangeSuffix.
inline constexpr char CpuDistanceRangePrefix[] = "Abstand zur CPU-Max-Temp muss >0 und <";
inline constexpr char CpuDistanceRangeSuffix[] = " sein!";
// Refusals of texts that cannot stand in the configuration files or in a
// file name.
inline constexpr char IdNotPlain[] = "Sensor-Kennung darf kein / \\ : .. und keine Steuerzeichen enthalten!";
inline constexpr char ServerNotOneLine[] =
    "Server-Adresse darf keinen Zeilenumbruch und kein NUL-Zeichen enthalten!";
inline constexpr char UpdateFileLocked[] =
    "Update-File ist gerade gesperrt; betätigen Sie OK etwas später noch einmal!";

// The stand-in central server on this machine, offered in the server list
// next to the configured server.
inline constexpr char LoopbackServer[] = "127.0.0.1:2000";

} // namespace ConfigDialogTexts
