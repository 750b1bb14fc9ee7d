#pragma once

// Fixed texts of the reporting side (UTF-8 here; Text8::cp gives the
// code-page bytes that the activity list and the log carry).
namespace ReportingTexts {

// Frame routines
inline constexpr char Disconnected[] = "***DISCONNECTED***";
inline constexpr char WaitingForData[] = "..auf Daten warten..";
inline constexpr char ReceiveFileStart[] = "-->Datei "; // + name
inline constexpr char ReceiveFileStartEnd[] = " empfangen";
inline constexpr char DataFollows[] = "-->O.K. jetzt kommen die Daten...";
inline constexpr char BlockReceived[] = "-->Block mit "; // + length
inline constexpr char BlockReceivedEnd[] = " Bytes empfangen";
inline constexpr char CloseFrameReceived[] = "-->CLOSE-FRAME empfangen";
inline constexpr char FileLengthOk[] = "-->File-Länge ist O.K.";
inline constexpr char FileLengthError[] = "***FILE-LENGTH-ERROR received="; // + count
inline constexpr char FileLengthErrorSoll[] = " Soll=";                     // + expected
inline constexpr char FileLengthErrorIst[] = " Ist=";                       // + file size
inline constexpr char SocketError1[] = "***SOCKET-ERROR_1***";
inline constexpr char SocketError2[] = "***SOCKET-ERROR_2***";

// Reporting thread: start and schedule
inline constexpr char ReportAfterUpdate[] = "***bei Programmstart nach UPDATE sofort beim Server melden***";
inline constexpr char ErrorAcknowledged[] = "!!!FEHLER quittiert!!!";
inline constexpr char AcknowledgeConnect[] = "QUITTUNG->Verbindung zu "; // + host + ":" + port
inline constexpr char LogAcknowledgeKey[] = "!!Taste QUITTIEREN gedrückt!";
inline constexpr char LogIntervalReport[] = "!!Intervallmeldung!";
inline constexpr char LogImmediateActive[] = "!!Sofortmeldung ist aktiv!";
inline constexpr char LogAcknowledgeActive[] = "!!QUITTUNG ist aktiv!";
inline constexpr char LogConnecting[] = "---->Verbindungsaufbau";

// Error files
inline constexpr char ErrorFileFailed[] = "***Fehlerfile "; // + name
inline constexpr char ErrorFileFailedEnd[] = " nicht erzeugbar***";
inline constexpr char AlarmAtParameter[] = "  A L A R M  am Parameter";
inline constexpr char AlarmAtRegulator[] = "  A L A R M  am Regler";
inline constexpr char PlausibilityError[] = "PLAUSIBILITAETSFEHLER";
inline constexpr char LanError[] = "LAN- / INTERNET-FEHLER";
inline constexpr char NameTemperature[] = "Temperatur";
inline constexpr char NameDewPoint[] = "Taupunkt";
inline constexpr char NameDistance[] = "Temp-Taupkt";
inline constexpr char NameHumidity[] = "Luftfeuchte";
inline constexpr char NameInput1[] = "Kontakt_1";
inline constexpr char NameInput2[] = "Kontakt_2";
inline constexpr char NameCpu[] = "CPU-Temperatur";
inline constexpr char UnitDegree[] = "°C";
inline constexpr char UnitPercent[] = "%";
inline constexpr char ContactValue[] = " 1>0 ";
inline constexpr char BelowMinimum[] = " <= ";
inline constexpr char AboveMaximum[] = " >= ";
inline constexpr char FlagAlarm[] = "r";
inline constexpr char FlagPlausibility[] = "p";

// Report transport
inline constexpr char ProxyPrepared[] = "PROXY-Verbindung vorbereitet";
inline constexpr char ProxyAddress[] = "PROXY: "; // + host + ":" + port
inline constexpr char DisconnectIfConnected[] = "..Disconnect vom Server falls verbunden..";
inline constexpr char ProxyEnded[] = "PROXY-Verbindung beendet";
inline constexpr char SocksKind[] = "SOCKS";
inline constexpr char NotAPortNumber[] = " is not a valid integer value"; // after the quoted text
inline constexpr char ProxyRefused[] = "Connection refused";

// Connection attempt
inline constexpr char NoConnection[] = "***Keine Verbindung zu "; // + host + ":" + port
inline constexpr char ConnectErrorPrefix[] = "(10) ";             // + message
inline constexpr char MarkerConnect[] = "Connect";

} // namespace ReportingTexts
