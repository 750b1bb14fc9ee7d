#pragma once

#include "common/ConfigFieldTexts.h"

// Fixed texts of the remote configuration dialog "Sensor-Konfiguration"
// (UTF-8 here; shown in the widgets as they stand).
namespace RemoteConfigTexts {

inline constexpr char Caption[] = "Sensor-Konfiguration";

inline constexpr char Heading[] = "Min.                     EIGENSCHAFT                         Max.";
inline constexpr char TempLabel[] = "Temperatur (°C)";
inline constexpr char RHLabel[] = "rel. Luftfeuchte (%)";
inline constexpr char TPLabel[] = "Taupunkt (°C)";
inline constexpr char T_TPLabel[] = "Diff. Temp-Taup. (°C)";
inline constexpr char CpuLabel[] = "min Abstand  zur Zersörungstemp.(°C)";
inline constexpr char IntervalBefore[] = "Alarme werden bei Fortbestehen nach ";
inline constexpr char IntervalDefault[] = "4";
inline constexpr char IntervalAfter[] = "Stunden wieder gemeldet (0=NICHT)";
inline constexpr char InputsHeading[] = "Überwachung  digitaler Eingänge";
inline constexpr char CheckRX[] = "Kontakt  RX  überwachen";
inline constexpr char CheckRI[] = "Eingang_1  überwachen";
inline constexpr char CheckDC[] = "Eingang_2  überwachen";
inline constexpr char CheckCTS[] = "Kontakt  CTS  überwachen";
inline constexpr char IdLabel[] = "HERON-Kennung";
inline constexpr char ModifyId[] = "mod.Kenn.";
inline constexpr char ServerLabel[] = "HERON-Server (IP-Adr. / DNS-Name)";
inline constexpr char ServerDefault[] = "EditHeronserver";
inline constexpr char Ok[] = "OK";
inline constexpr char Cancel[] = "Abbruch";

inline constexpr char LimitHint[] = "hier werden die entspr. ALARM-Grenzwerte eingestellt";
inline constexpr char IdHint[] =
    "Hier wird, sofern erlaubt, die 7-stellige HERON-Kennung eingestellt (ist für den Alarmierungs-Server wichtig!)";
inline constexpr char ServerLabelHint[] =
    "Die IP-Adresse des HERON-Alarmservers wird hier eingetragen (OHNE EINTRAG KEINE ALARMIERUNG!!)";
inline constexpr char ServerHint[] = "geben sie hier die Adresse des Zentralen Servers ein";
inline constexpr char IntervalHint[] =
    "Diese Einstellung sagt, nach wieviel Stunden Alarme quittiert und ggf. erneut gemeldet werden";
inline constexpr char CpuHint[] =
    "hier wird der minimale Abstand der CPU-Temperatur zur CPU-Zerstörungstemperatur eingestellt.";
inline constexpr char ContactHint[] =
    "über diese RS232-Signale können zukünftig potentialfreie Kontakte angeschlossen werden!";

// Messages.
using ConfigFieldTexts::TminNotFloat;
using ConfigFieldTexts::TmaxNotFloat;
using ConfigFieldTexts::TPminNotFloat;
using ConfigFieldTexts::TPmaxNotFloat;
using ConfigFieldTexts::T_TPminNotFloat;
using ConfigFieldTexts::T_TPmaxNotFloat;
using ConfigFieldTexts::RHminNotFloat;
using ConfigFieldTexts::RHmaxNotFloat;
inline constexpr char IntervalNotInteger[] = "Alarmintervall muß eine Ganzzahl sein!";
using ConfigFieldTexts::IntervalOutOfRange;
inline constexpr char CpuNotInteger[] = "min Abstand zur JUNCTION-Temperatur muss eine Ganzzahl sein!";
inline constexpr char CpuRangePrefix[] = "min.Abstand zur JUNCTION-Temperatur muss >0 und <";
inline constexpr char CpuRangeSuffix[] = " sein!";
inline constexpr const auto &NoServer = ConfigFieldTexts::NoServerWarning;

// The identifier is filled up with this character to its seven places.
inline constexpr char IdFill = '_';
inline constexpr int IdLength = 7;

} // namespace RemoteConfigTexts
