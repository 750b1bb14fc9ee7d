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
// A received file beyond its bound: FileTooLarge + bytes announced or
// received + FileTooLargeLimit + bound + FileTooLargeName + file name
inline constexpr char FileTooLarge[] = "***Datei zu groß: ";
inline constexpr char FileTooLargeLimit[] = " Bytes, höchstens ";
inline constexpr char FileTooLargeName[] = ": ";
// A server that keeps a frame or a file beyond its bound (+ seconds waited)
inline constexpr char FrameTooSlow[] = "***Server zu langsam: Rahmen nach ";
inline constexpr char FileTooSlow[] = "***Server zu langsam: Datei nach ";
inline constexpr char TooSlowEnd[] = " s nicht vollständig";
// A transfer cut for a waiting alarm: AlarmCut + seconds since the file
// began + AlarmCutEnd.
inline constexpr char AlarmCut[] = "***Neuer Alarm: Übertragung nach ";
inline constexpr char AlarmCutEnd[] = " s abgebrochen, die Fehlerdatei geht vor";
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
inline constexpr char NoConnectionLabel[] = "***keine Verbindung zu "; // LastErrorLabel, + host + ":" + port

// Report session: login, identifier, version, report kind
inline constexpr char LoginOk[] = "Anmeldung am HERON-Server OK";
inline constexpr char StationIdFailed[] = "***Übertragungsfehler bei Stationskennung***";
inline constexpr char StationIdSent[] = "Stationskennung übertragen";
inline constexpr char VersionFailed[] = "***Fehler bei Softwareversionsübertragung***";
inline constexpr char KindFailed[] = "***Fehler bei Kennung Data/Error***";
inline constexpr char KindSent[] = "Kennung DATA/ERROR übertragen";
inline constexpr char VersionPrefix[] = "*D2AVid:"; // + VersionsLabel + "*"
inline constexpr char VersionSuffix[] = "*";
inline constexpr char KindError[] = "*ERROR*";
inline constexpr char KindData[] = "*DATA*";
inline constexpr char LogoutText[] = "*ENDE*";
inline constexpr char LogNextReportTime[] = "Nächster  Meldezeitpunkt gebildet";

// Report session: file sending
inline constexpr char OpenFailed[] = "***Fehler bei OPEN-Übertragung "; // + file name
inline constexpr char OpenSent[] = "OPEN-File übertragen ";             // + file name
inline constexpr char CloseFailed[] = "***Fehler bei CLOSE***";
inline constexpr char CloseOk[] = "CLOSE Übertragung OK";
inline constexpr char FileDeleted[] = "Datei "; // + file name
inline constexpr char FileDeletedEnd[] = " gelöscht";
inline constexpr char ServerDataDir[] = "data\\";          // + file name
inline constexpr char ServerLogName[] = "sensorlogfile\\"; // + StationId + ".log"
inline constexpr char ServerLogSuffix[] = ".log";

// Report session: logout and end
inline constexpr char LogoutFailed[] = "***Übertragungsfehler bei LOGOUT***";
inline constexpr char CentralConnectionError[] = "*****VERBINDUNGSFEHLER zur ZENTRALE*****";
inline constexpr char LogLogoutFailed[] = "Übertragungsfehler bei LOGOUT";
inline constexpr char LogoutSent[] = "LOGOUT übertragen";
inline constexpr char LogDisconnecting[] = "Sensor trennt Verbindung";
inline constexpr char LogImmediateReset[] = "RESET sofortmelden";
inline constexpr char LogAcknowledgeReset[] = "Quittung zurückgesetzt";

// Step markers of the report session (IntervallLeft)
inline constexpr char MarkerLogin[] = "Anmeld";
inline constexpr char MarkerStation[] = "Station";
inline constexpr char MarkerVersion[] = "Version";
inline constexpr char MarkerKind[] = "Kennung";
inline constexpr char MarkerErrorFiles[] = "Errfile";
inline constexpr char MarkerErrorOpen[] = "Err-HD";
inline constexpr char MarkerErrorData[] = "Err-Data";
inline constexpr char MarkerErrorClose[] = "Err-Close";
inline constexpr char MarkerMeasureFiles[] = "Meßfile";
inline constexpr char MarkerMeasureOpen[] = "Meß-HD";
inline constexpr char MarkerMeasureData[] = "Meß-Data";
inline constexpr char MarkerMeasureBefore[] = "MeßTp1";
inline constexpr char MarkerMeasureAfter[] = "MeßTp2";
inline constexpr char MarkerMeasureClose[] = "Meß-Close";
inline constexpr char MarkerLogFiles[] = "Logfile";
inline constexpr char MarkerLogOpen[] = "Log-TP1";
inline constexpr char MarkerLogData[] = "Log-TP2";
inline constexpr char MarkerLogBefore[] = "Log-TP3";
inline constexpr char MarkerLogAfter[] = "Log-TP4";
inline constexpr char MarkerLogClose[] = "Log-Close";
inline constexpr char MarkerLogout[] = "Logout";

// Configuration exchange: upload of the identifier copy
inline constexpr char ServerConfigDir[] = "seconfig\\"; // + Trim(StationId) + ".cfg"
inline constexpr char ConfigSuffix[] = ".cfg";
inline constexpr char ConfigSend[] = "neue Konfiguration "; // + id + "senden"
inline constexpr char ConfigSendEnd[] = "senden";
inline constexpr char OldConfigDeleted[] = "alte Config "; // + full name + " gelöscht"
inline constexpr char OldConfigDeletedEnd[] = " gelöscht";
inline constexpr char MarkerConfigOpen[] = "Cfg-Open";
inline constexpr char MarkerConfigData[] = "Cfg-Data";
inline constexpr char UpdateWord[] = "UPDATE"; // a chunk of nothing else is not sent; line 35

// Configuration exchange: download
inline constexpr char SaveDeleted[] = "Datei r2arodire.save gelöscht";
inline constexpr char ConfigToSave[] = "rename r2arodire.cfg -> r2arodire.save";
inline constexpr char FileRequestSent[] = "Dateianforderung "; // + name + " gesendet"
inline constexpr char FileRequestSentEnd[] = " gesendet";
inline constexpr char MarkerConfigRead1[] = "Cfg-Read1";
inline constexpr char NoConfigDownloaded[] = "keine Konfiguration heruntergeladen";
inline constexpr char ConfigDownloaded[] = "neue Konfiguration "; // + name + " runtergeladen.."
inline constexpr char ConfigDownloadedEnd[] = " runtergeladen..";
inline constexpr char ConfigActivated[] = "neue Konfiguration aktiviert";
inline constexpr char ConfigKept[] = "keine Konfiguration auf dem Server / bisherige Konfiguration beibehalten";
inline constexpr char ConfigFileDeleted[] = "Datei r2arodire.cfg gelöscht";
inline constexpr char SaveToConfig[] = "rename r2arodire.save -> r2arodire.cfg";
inline constexpr char UpdateRequestedText[] = "Softwareupdate angefordert!";
inline constexpr char ReceivedCopyDeleted[] = "Datei "; // + id + ".cfg gelöscht"
inline constexpr char ReceivedCopyDeletedEnd[] = ".cfg gelöscht";
inline constexpr char ConfigTaken[] = "neue Konfiguration übernommen";
inline constexpr char ConfigRestored[] = "***bisherige Konfiguration restauriert(1)";
// The received copy under a name of its own until it is taken or dropped.
inline constexpr char ConfigReceivedFile[] = "r2arodire.recv";
// A received line longer than a configuration line can be (+ line number)
inline constexpr char ConfigLineTooLong[] = "***Konfiguration vom Server verworfen: Zeile ";
inline constexpr char ConfigLineTooLongEnd[] = " zu lang";

// Program updates
inline constexpr char ServerViewerUpdate[] = "seconfig\\Fernblick.upd";
inline constexpr char ServerStationUpdate[] = "seconfig\\Klimawarte.upd";
inline constexpr char ViewerUpdateFile[] = "remote.upd";
inline constexpr char ViewerProgram[] = "Fernblick.exe";
inline constexpr char ViewerProgramOld[] = "Fernblick.old";
inline constexpr char StationUpdateReceived[] = "sensor.upd";
inline constexpr char StationUpdateFile[] = "Klimawarte.upd";
inline constexpr char ViewerUpdateDeleted[] = "Datei remote.upd gelöscht";
inline constexpr char MarkerUpdate1[] = "Update1";
inline constexpr char MarkerUpdate1Read[] = "Upd1-Read";
inline constexpr char ViewerUpdateLoading[] = "optionales UPDATE Remote wird runtergeladen";
inline constexpr char ViewerUpdateIgnored[] = "opt. UPDATE-Remote ignoriert";
inline constexpr char ViewerProgramDeleted[] = "Datei Fernblick.exe gelöscht";
inline constexpr char ViewerUpdateRenamed[] = "rename remote.upd -> Fernblick.exe";
inline constexpr char StationUpdateDeleted[] = "Datei sensor.upd gelöscht";
inline constexpr char MarkerUpdate2[] = "Update2";
inline constexpr char MarkerUpdate2Read[] = "Upd2-Read";
inline constexpr char StationUpdateLoading[] = "opt. UPDATE-Sensor wird runtergeladen";
inline constexpr char StationUpdateIgnored[] = "opt. UPDATE Sensor ignoriert";
inline constexpr char StationWaitingDeleted[] = "Datei Klimawarte.upd gelöscht";
inline constexpr char StationUpdateRenamed[] = "rename sensor.upd -> Klimawarte.upd";
inline constexpr char StationUpdateDropped[] = "Datei Sensor.upd gelöscht"; // capital S
inline constexpr char UpdateNoConnection[] = "***Keine Verbindung  zu "; // + host + ":" + port + "!"
inline constexpr char UpdateNoConnectionEnd[] = "!";

// A value of the received configuration that was not taken:
// DownloadValueRefused + key + DownloadValueRefusedEnd + reason (log file).
inline constexpr char DownloadValueRefused[] = "Konfiguration vom Server: ";
inline constexpr char DownloadValueRefusedEnd[] = " abgewiesen, bisheriger Wert bleibt: ";

// Update restart
inline constexpr char RestartScript[] = "restart.bat";
inline constexpr char ScheduleScript[] = "jobat.bat";
inline constexpr char RestartWriteError[] = "Fehler beim Schreiben der neuen Konfiguration";
inline constexpr char ServiceDisplayName[] = "DISPLAYNAME";
inline constexpr char ServiceHostName[] = "ZAV_SENSOR";
inline constexpr char ControlUpdate[] = "UPDATE";
// A received station update that is no program for this machine (log file).
inline constexpr char UpdateNotRunnable[] =
    "Update Klimawarte.upd ist kein Programm für diesen Rechner: verworfen, bisheriges Programm läuft weiter";
// A received station update that is the same as one that could not run here
// before and gave the previous program back (log file).
inline constexpr char UpdateFailedBefore[] =
    "Update Klimawarte.upd lief schon einmal nicht: verworfen, bisheriges Programm läuft weiter";
// A received station update that cannot be read whole, so that no digest
// could tell it again after a failure (log file).
inline constexpr char UpdateUnreadable[] =
    "Update Klimawarte.upd nicht lesbar: verworfen, bisheriges Programm läuft weiter";

} // namespace ReportingTexts
