#pragma once

// Texts of start-up, the single-instance rule, installation mode and the
// service control value.
namespace StartupTexts {

inline constexpr char FlagFileName[] = "r2arodire.flag";
inline constexpr char Starting[] = "ZAV-Sensor wird gestartet....";
inline constexpr char CountdownPrefix[] = "ZAV-Sensor wird gestartet..";
inline constexpr char CountdownSuffix[] = "..";
inline constexpr char ConfigReadErrorMessage[] =
    "Fehler beim Lesen der Konfiguration (File existiert noch nicht oder einige Einträge fehlen!) "
    "Wählen Sie bitte KONFIGURATION! ";
inline constexpr char ChoosePortMessage[] =
    "Wählen Sie zuerst den richtigen Port aus, konfigurieren Sie dann den Rest!";
inline constexpr char SecondInstanceMessage[] =
    "Eine Instanz von ZAV-Sensor ist schon aktiv \n\r --> Das Programm wird beendet!";
inline constexpr char SecondInstanceLog[] = "Programm beendet (lief als 2.Instanz)";
// The flag file could not be taken for another reason than a running copy
// (followed by the system's reason), and the exit status of that end.
inline constexpr char FlagFileFailureLog[] = "Programm beendet, r2arodire.flag nicht schreibbar: ";
inline constexpr int FlagFileFailureExitStatus = 1;
// The previous program was put back and started after the new program of an
// update ended at once: FallbackLog + FallbackSignal or FallbackStatus + the
// number + FallbackProgram + the program file + FallbackEnd.
inline constexpr char FallbackLog[] = "Neues Programm nach Update mit ";
inline constexpr char FallbackSignal[] = "Signal ";
inline constexpr char FallbackStatus[] = "Status ";
inline constexpr char FallbackProgram[] = " beendet, bisheriges Programm ";
inline constexpr char FallbackEnd[] = " wieder eingesetzt";

inline constexpr char ConfigurationSwitch[] = "/CONFIGURATION";
inline constexpr char ConnectSensorMessage[] = "ACHTUNG\nSensor jetzt anschließen und ggf. Treiber installieren.";
inline constexpr char InstallQuestion[] = "Soll das Programm als Dienst installiert werden?";
inline constexpr char UninstallError[] = "ACHTUNG\nINSTALL-ERROR, der Dienst kann nicht gelöscht werden!";
inline constexpr char StartServiceQuestion[] =
    "Soll der Dienst gleich nach der nachfolgenden Konfiguration des Programms starten?";
inline constexpr char MustConfigureMessage[] =
    "Sie müssen das Programm konfigurieren und die Konfiguration mit OK bestätigen!";
inline constexpr char ShutdownLog[] = "Proramm beendet wegen SHUTDOWN";

inline constexpr char InstallScript[] = "InstallService.vbs";
inline constexpr char UninstallScript[] = "UnInstallService.vbs";
inline constexpr char ServiceStartBatch[] = "ServiceStart.bat";
inline constexpr char HostExe[] = "Wachdienst.Exe";

// Service control values and service key value names.
inline constexpr char ControlValue[] = "CONTROL";
inline constexpr char ImagePathValue[] = "IMAGEPATH";
inline constexpr char Running[] = "RUNNING";
inline constexpr char Idle[] = "IDLE";
inline constexpr char Shutdown[] = "SHUTDOWN";
inline constexpr char Update[] = "UPDATE";

} // namespace StartupTexts

namespace StartupTexts {
// Central server used when the settings name none.
inline constexpr char DefaultServerHost[] = "127.0.0.1";
inline constexpr char DefaultServerPort[] = "2000";
inline constexpr char DefaultStationId[] = "D2IDIDA";
inline constexpr char DefaultAlarmInterval[] = "4";
inline constexpr char DegreeUnit[] = "°C  ";
inline constexpr char PercentUnit[] = "%  ";
} // namespace StartupTexts
