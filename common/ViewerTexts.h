#pragma once

// Fixed texts of the link between the station and the viewer (UTF-8 here;
// Text8::cp gives the code-page bytes, "ü" -> 0xFC).
namespace ViewerTexts {

// First text of a measurement message (station to viewer).
inline constexpr char Start[] = "<ANFANG>";
// Answer to a text: received, go on (both directions).
inline constexpr char Ok[] = "OK";
// The viewer announces a configuration.
inline constexpr char Config[] = "<CONFIG>";
// The station cut a measurement message on an answer other than "OK".
inline constexpr char Repeat[] = "<REPEAT>";
// The station shuts down; the connection ends.
inline constexpr char StationBreak[] = "<BREAK>";
// The viewer's answer to the last text of a message when it disconnects.
inline constexpr char ViewerBreak[] = "BREAK";
// CPU text when the station has no CPU temperature.
inline constexpr char CpuNotAvailable[] = "<nicht verfügbar>";

// Suffix of a hand-entered station identifier.
inline constexpr char ManualIdSuffix[] = "$$$";
// The identifier is filled up with this character to its minimum length.
inline constexpr char IdFill = '-';
inline constexpr char UnsetId[] = "_______";
inline constexpr char UnsetIdReplacement[] = "-------";

// Port of a server text that names none.
inline constexpr char DefaultServerPort[] = "2000";

} // namespace ViewerTexts
