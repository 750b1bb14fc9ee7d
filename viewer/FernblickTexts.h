#pragma once

// Fixed texts of the viewer's main window and its connection thread (UTF-8
// here; Text8::cp gives the code-page bytes where they meet the wire).
namespace FernblickTexts {

// Title of every message window of the program (the program's name); Timer1
// closes open windows with this title.
inline constexpr char AppTitle[] = "Fernblick";
inline constexpr char WindowCaption[] = "ZAV-Sensorfernsteuerung";

inline constexpr char LabelTemp[] = "Lufttemperatur (°C)";
inline constexpr char LabelRH[] = "relative Luftfeuchte (%)";
inline constexpr char LabelTP[] = "Taupunkttemperatur (°C)";
inline constexpr char LabelT_TP[] = "Distanz zum Taupunkt (K)";
inline constexpr char Label3[] = "CPU-Temperatur (°C)";
inline constexpr char CheckRI[] = "Eingang_1                     überwacht";
inline constexpr char CheckDC[] = "Eingang_2                     überwacht";
inline constexpr char CheckRX[] = "Kontakt  RX  überwachen";
inline constexpr char CheckCTS[] = "Kontakt  CTS  überwachen";
inline constexpr char LastMeasurement[] = "Letzte Messung: ";
inline constexpr char LastError[] = "Letzter Fehler: ";
inline constexpr char LabelKennung[] = "Sensor-Kennung:";
inline constexpr char Label1[] = "Fernzusteuernder Sensor (Port 2002 ff) ";
inline constexpr char Connect[] = "Verbinden";
inline constexpr char Disconnect[] = "Trennen";
inline constexpr char ActivityLog[] = "Activity-Log";
inline constexpr char SensorConfig[] = "Sensor-Config";
inline constexpr char ProxyConfig[] = "Proxy-Config";
inline constexpr char DefaultHost[] = "127.0.0.1";
inline constexpr char DefaultPort[] = "2002";
inline constexpr char WebAddress[] = "https://www.klimawarte.example/fernblick/";
inline constexpr char Version[] = "Fernblick Vers.1.0.0//10.12.2026";

inline constexpr char ValueHint[] = "Hier werden die aktuellen Meßwerte angezeigt; GRÜN=OK  ROT=Grenzwertüberschreitung  "
                                    "ROSA=Grenzwertunterschreitung";
inline constexpr char ListboxHint[] = "Hier erscheinen sämtliche Status- und Fehlermeldungen!";
inline constexpr char ServerHint[] =
    "tragen Sie hier die Adresse der fernzusteuernden Sensors und den Port (falls nicht 2002) ein. Die "
    "Verbindung zum 1. Revuzadareza geht über Port 2002, zum 2. über 2003 usw.";

// Labels the connection thread fills.
inline constexpr char JunctionPrefix[] = "Junction-Temp. = ";
inline constexpr char JunctionSuffix[] = " °C";
inline constexpr char KennungPrefix[] = "HERON-Kennung: ";
inline constexpr char MinPrefix[] = "Min: ";
inline constexpr char MaxPrefix[] = "Max: ";
inline constexpr char MinDegree[] = " °C  ";
inline constexpr char MinPercent[] = " %  ";
inline constexpr char MaxDegree[] = "°C";
inline constexpr char MaxPercent[] = "%";
inline constexpr char NoLimit[] = " ";
inline constexpr char ErrTime[] = "ErrTime:";
inline constexpr char ErrTimeWord[] = "ErrTime";
inline constexpr char ErrTimeReplacement[] = "Letzter Fehler";
inline constexpr char LastErr[] = "Last Err:";
inline constexpr char LastErrReplacement[] = "Letzter Fehler --";

// Status lines.
inline constexpr char ConnectedPrefix[] = "*** Verbindung zu ";
inline constexpr char ConnectedSuffix[] = " aufgebaut ***";
inline constexpr char ConnectionEnded[] = "+++ Verbindung  beendet (1)!";
inline constexpr char ConnectionLost[] = "***Verbindung abgebrochen***";
inline constexpr char SendingConfig[] = "***Sende Konfiguration***";
inline constexpr char SendingId[] = "===>Kennung=";
inline constexpr char ConfigSent[] = "***Sende Konfiguration ist OK***";
inline constexpr char ConfigFailed[] = "***Sende Konfiguration ergab FEHLER***";

// Messages.
inline constexpr char Unreachable[] = "spezifiziertes Ziel ist nicht erreichbar!";
// The socket layer's report of an asynchronous error: code and description.
inline constexpr char SocketErrorMessage[] = "Socket-Fehler %1: %2";

} // namespace FernblickTexts
