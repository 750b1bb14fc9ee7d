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
inline constexpr char FileLengthErrorSoll[] = " Soll=";                      // + expected
inline constexpr char FileLengthErrorIst[] = " Ist=";                        // + file size
inline constexpr char SocketError1[] = "***SOCKET-ERROR_1***";
inline constexpr char SocketError2[] = "***SOCKET-ERROR_2***";

} // namespace ReportingTexts
