#pragma once

// Captions and hints of the configuration dialog (UTF-8 here).
namespace TFConfigTexts {

inline constexpr char Caption[] = "Sensor-Konfiguration";
inline constexpr char Label1[] = "Min.                     EIGENSCHAFTEN                     Max.";
inline constexpr char RowTemp[] = "Temperatur (°C)";
inline constexpr char RowRH[] = "rel. Luftfeuchte (%)";
inline constexpr char RowTP[] = "Taupunkt (°C)";
inline constexpr char RowT_TP[] = "Diff. Temp-Taup. (°C)";
inline constexpr char ThresholdHint[] = "tragen Sie hier den entspr. Alarmierungsgrenzwert ein";
inline constexpr char InputsLabel[] = "Überwachung  der pot. Eingänge:";
inline constexpr char InputsTypeLabel[] = "(nur Bautyp Sensor II)";
inline constexpr char CheckRI[] = "Eingang_1  überwachen";
inline constexpr char CheckDC[] = "Eingang_2  überwachen";
inline constexpr char InputsHint[] = "An diesen Eingängen können 12V-Stromschleifen angeschlossen werden.";
inline constexpr char CpuLabel[] = "Abstand CPU-Temp. zur max. CORE-Temp. (°C)";
inline constexpr char CpuHint[] = "geben Sie hier den min. Temperaturabstand der CPU-Kerntemp. zur sog. "
                                  "Zerstörungstemperatur an (JUNCTION-Temp.)";
inline constexpr char PortLabel[] = "COM-Port für Sensoranschluß:";
inline constexpr char PortHint[] = "Wählen Sie den COM-Port aus, an dem der Sensor angeschlossen ist";
inline constexpr char IntervalLabel[] = "Melde-Intervall alle";
inline constexpr char IntervalUnit[] = "Stunden ( 0 = NICHT, maximal 24 Stunden)";
inline constexpr char IntervalHint[] =
    "Einstellung, nach wieviel Stunden Alarme quittiert und,wenn immer noch "
    "aktuell, erneut gemeldet werden";
inline constexpr char IntervalInitial[] = "4";
inline constexpr char KennungLabel[] = "Sensor-Kennung (sieben Zeichen)";
inline constexpr char KennungHint[] =
    "Diese 7-Zeichen lange Kennung identifiziert die Meßstelle im HERON-System";
inline constexpr char CheckBox1[] = "manuelle Ser-NR";
inline constexpr char CheckBox1Hint[] = "wenn das Häkchen sitzt, wird eine manuelle nummer eingegeben";
inline constexpr char ServerLabel[] = "Server-IP-Adr. / DNS-Name";
inline constexpr char ServerHint[] =
    "Hier muß die IP-Adresse bzw. der DNS-Name des HERON-Alarmierungsservers "
    "eingetragen werden; OHNE SERVER KEINE ALARMIERUNG!";
inline constexpr char Button2[] = "Proxy-Konfiguration";
inline constexpr char Button1[] = "OK";
inline constexpr char Button1Hint[] = "Die Änderungen werden gespeichert und der Sensor misst weiter";
inline constexpr char CancelButton[] = "Abbrechen";
inline constexpr char CancelButtonHint[] = "Alle Änderungen werden verworfen";

} // namespace TFConfigTexts
