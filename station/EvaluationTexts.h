#pragma once

#include "common/ViewerTexts.h"

// Fixed texts of the alarm evaluation and the measurement records (UTF-8
// here; Text8::cp gives the code-page bytes for files, list and window).
namespace EvaluationTexts {

// Temperature rise above the maximum: prefix + old value + arrow + new value.
inline constexpr char RisePrefix[] = "!!!Temperaturanstieg ";
inline constexpr char RiseArrow[] = " -> ";

// LastErrorLabel when an alarm is raised, LabelLastConnection on every shown
// evaluation (each followed by MeasureTime).
inline constexpr char ErrTimePrefix[] = "ErrTime: ";
inline constexpr char MeasureTimePrefix[] = "Zeitpunkt: ";

// EditCpuTemp without a reading.
// The same text the viewer link sends for a missing CPU value.
inline constexpr const auto &CpuNotAvailable = ViewerTexts::CpuNotAvailable;

// Colour-change log lines: quantity word + the change.
inline constexpr char WordTemperature[] = "Temperatur";
inline constexpr char WordDewPoint[] = "Taupunkt";
inline constexpr char WordDistance[] = "T-TP";
inline constexpr char WordHumidity[] = "RH";
inline constexpr char WordCpu[] = "CPU-Temp";
inline constexpr char ChangeGreenToRed[] = " wechselt von GRÜN->ROT";
inline constexpr char ChangeRedToGreen[] = " wechselt von ROT->GRÜN";
// A value that jumps straight from below its minimum to above its maximum,
// or back, without an evaluation in between that found it within its band.
inline constexpr char ChangePinkToRed[] = " wechselt von ROSA->ROT";
inline constexpr char ChangeRedToPink[] = " wechselt von ROT->ROSA";

// Unexpected failure while writing a measurement record.
inline constexpr char RecordFailure[] = "SHIT HAPPENS!";

// Log lines of records that could not be written: the first failure of a
// series (followed by the file name, ": " and the system's reason), the
// first dropped set of a series, and the first write that succeeds again
// (followed by the number of record sets written late and dropped).
inline constexpr char RecordsHeldBack[] = "Messwerte zurückgehalten, Datei nicht schreibbar: ";
inline constexpr char RecordsDropped[] = "Älteste zurückgehaltene Messwerte verworfen";
inline constexpr char RecordsWrittenLate[] = "Zurückgehaltene Messwerte geschrieben, Sätze: ";
inline constexpr char RecordsDroppedCount[] = ", verworfen: ";
// The program ends with record sets held back that cannot be written any
// more: prefix + number of sets lost (those dropped before included) + the
// text + the reason (the file cannot be written, or the reporting side is
// still sending the record files).
inline constexpr char RecordsLostAtEnd[] = "Programmende: ";
inline constexpr char RecordsLostCount[] = " zurückgehaltene Messwertsätze verloren";
inline constexpr char RecordsLostUnwritable[] = " (Datei nicht schreibbar)";
inline constexpr char RecordsLostTransfer[] = " (Übertragung zum Server läuft)";

} // namespace EvaluationTexts
