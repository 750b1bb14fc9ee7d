#pragma once

// The station's own fixed texts (UTF-8 here; Text8::cp gives the code-page
// bytes that files, the wire and the list carry).
namespace StationTexts {

inline constexpr char LogFileName[] = "zav_sensor_logfile.log";
inline constexpr char LogTag[] = " /Sensor/ ";

inline constexpr char ComPortError[] = "!!!!COM-Port-Error, Sensor ist jetzt inaktiv!";
inline constexpr char SensorLoggingError[] = " ***Sensor-Fehler-Logging***";
inline constexpr char LastErrCaption[] = "Last Err:";
inline constexpr char ListboxHint[] = "Hier erscheinen sämtliche Status- und fehlermeldungen!";

inline constexpr char ApplicationTitle[] = "ZAV-Sensor";
inline constexpr char CaptionPrefix[] = "ZAV-Sensor - ";

inline constexpr char QuitQuestion[] = "Programm wirklich beenden?";
inline constexpr char QuitSureQuestion[] = "Sind Sie sich wirklich sicher?";

} // namespace StationTexts
