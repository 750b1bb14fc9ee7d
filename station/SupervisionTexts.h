#pragma once

// Texts of the supervision tick and the main window's commands (UTF-8 here;
// Text8::cp gives the code-page bytes).
namespace SupervisionTexts {

inline constexpr char UpdateRestartLog[] = "Programm beendet für REBOOT nach Update!";
inline constexpr char DeadlockLog[] = "Programm beendet wegen erkannten Deadlock";
inline constexpr char HidingMessage[] = "Das Programm wird automatisch minimiert!";

inline constexpr char DeviceManagerCaption[] = "HILFE-ANWEISUNG";
inline constexpr char DeviceManagerBatch[] = "hidden_dev.bat";
inline constexpr char DeviceManagerNotFound[] =
    "Das BATCH-File  HIDDEN_DEV.BAT  wurde nicht gefunden oder konnte nicht ausgeführt werden!";
inline constexpr char DeviceManagerNotRun[] =
    "Das BATCH-File  HIDDEN_DEV.BAT  konnte nicht ausgeführt werden!";

} // namespace SupervisionTexts
