#pragma once

// Messages of the field checks that the station's configuration dialog and
// the viewer's remote configuration dialog share (UTF-8 here; Text8::cp gives
// the code-page bytes).
namespace ConfigFieldTexts {

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
inline constexpr char IntervalOutOfRange[] = "Alarmintervall muß größer/gleich 0 und kleiner 25 sein!";

} // namespace ConfigFieldTexts
