#pragma once

#include "common/ViewerTexts.h"

// Fixed texts of the configuration files, the CPU reading and the port list
// (UTF-8 here; Text8::cp gives the code-page bytes).
namespace ConfigTexts {

inline constexpr char ConfigFileName[] = "r2arodire.cfg";
inline constexpr char ConfigSaveName[] = "r2arodire.save";
inline constexpr char ConfigCopySuffix[] = ".cfg";

inline constexpr char WriteConfigError1[] = "Fehler beim Schreiben der neuen Konfiguration(1)";
inline constexpr char WriteConfigError2[] = "Fehler beim Schreiben der neuen Konfiguration(2)";

// Why a value of a received configuration was not taken.
inline constexpr char ValueNotOneLine[] = "Zeilenumbruch oder NUL im Wert";
inline constexpr char IdNotPlainFileName[] = "Kennung ist kein einfacher Dateiname";

inline constexpr char NoMsrAccess[] = "*** no access to MSR-Registers ***";
inline constexpr char NoMsr19C[] = "*** no access to MSR-19Ch ***";
// The same text the viewer link sends for a missing CPU value.
inline constexpr const auto &CpuNotAvailable = ViewerTexts::CpuNotAvailable;
inline constexpr char CpuReadFailed[] = "<<nicht verfügbar>>";

// Device description and friendly-name prefix of an FTDI serial port, in the
// upper case in which they are compared.
inline constexpr char FtdiDescription[] = "USB SERIAL PORT";
inline constexpr char FtdiFriendlyPrefix[] = "USB SERIAL PORT (";

} // namespace ConfigTexts
