#pragma once

// Fixed texts of the measurement thread and the sensor start and stop command
// (UTF-8 here; Text8::cp gives the code-page bytes).
namespace MeasurementTexts {

inline constexpr char PortActivated[] = "Spannungserzeugung für Sensor ist aktiviert";
inline constexpr char InvalidHandle[] = "***Sensor-Fehler (invalid Handle)";
inline constexpr char PortFailed[] = "***Spannungserzeugung für Sensor funktioniert nicht!";
inline constexpr char AnswerT[] = " Sensor(T): ";
inline constexpr char AnswerRH[] = " Sensor(RH): ";
inline constexpr char NoAckTemperature[] = "***Sensor-Fehler bei Temperaturabfrage***";
inline constexpr char NoAckHumidity[] = "***Sensor-Fehler bei Feuchteabfrage***";
inline constexpr char ZeroAnswer[] = "***Sensor-Fehler (Antwort=0,0,0 >5 mal)";
inline constexpr char LabelNoAckTemperature[] = " ***Sensor-Fehler bei Temperaturabfr.***";
inline constexpr char LabelNoAckHumidity[] = " ***Sensor-Fehler bei Feuchtabfr.***";
inline constexpr char LabelPowerFailure[] = " ***Sensor-Spannungsausfall";

inline constexpr char StartSensor[] = "Start Sensor";
inline constexpr char StopSensor[] = "Stop Sensor";
inline constexpr char SensorStopped[] = "+++ Sensor gestoppt +++";
inline constexpr char SensorStarted[] = "***** Sensor gestartet *****";
inline constexpr char IllegalComPort[] = "Es wurde ein illegaler oder kein COM-Port spezifiziert!";

} // namespace MeasurementTexts
