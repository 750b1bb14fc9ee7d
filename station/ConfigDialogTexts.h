#pragma once

// Messages of the configuration dialog's checks and buttons (UTF-8 here;
// Text8::cp gives the code-page bytes).
namespace ConfigDialogTexts {

inline constexpr char TminNotFloat[] = "minimale Temperatur muss eine Gleitkommazahl sein!";
inline constexpr char TmaxNotFloat[] = "maximale Temperatur muss eine Gleitkommazahl sein!";
inline constexpr char TPminNotFloat[] = "minimale Taupunkt-Temperatur muss eine Gleitkommazahl sein!";
inline constexpr char TPmaxNotFloat[] = "maximale Taupunkt-Temperatur muss eine Gleitkommazahl sein!";
inline constexpr char T_TPminNotFloat[] = "minimale Diff(Temp-Taupunkt) muss eine Gleitkommazahl sein!";
inline constexpr char T_TPmaxNotFloat[] = "maximale Diff(Temp-Taupunkt) muss eine Gleitkommazahl sein!";
inline constexpr char RHminNotFloat[] = "minimale rel.Luftfeuchte muss eine Gleitkommazahl sein!";
inline constexpr char RHmaxNotFloat[] = "maximale rel.Luftfeuchte muss eine Gleitkommazahl sein!";

inline constexpr char NoServerWarning[] =
    "ACHTUNG! Sie haben keinen Alarmserver eingetragen; Alarmierungen sind UNMÖGLICH!";
inline constexpr char IntervalNotInteger[] = "Alarmintervall muß eine Ganzzahl von 0 bis 24 sein!";
inline constexpr char IntervalOutOfRange[] = "Alarmintervall muß größer/gleich 0 und kleiner 25 sein!";
inline constexpr char CpuDistanceNotInteger[] = "Abstand zur CPU-Max-Temp muss eine Ganzzahl sein!";
// CpuDistanceRangePrefix + CpuTjMax in decimal + CpuDistanceRangeSuffix.
inline constexpr char CpuDistanceRangePrefix[] = "Abstand zur CPU-Max-Temp muss >0 und <";
inline constexpr char CpuDistanceRangeSuffix[] = " sein!";
inline constexpr char UpdateFileLocked[] =
    "Update-File ist gerade gesperrt; betätigen Sie OK etwas später noch einmal!";

// The stand-in central server on this machine, offered in the server list
// next to the configured server.
inline constexpr char LoopbackServer[] = "127.0.0.1:2000";

} // namespace ConfigDialogTexts
