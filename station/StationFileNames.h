#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The names of the files that carry the station identifier: measurement
// records, error files and the identifier copy of the configuration, and the
// name filters that find them again. Every name is a plain name in the
// working folder. In the names of records and error files an identifier that
// could not be one (see ConfigValueChecks::isPlainStationId) has each
// offending character replaced by "-", so that no measurement is lost and
// even an identifier read from an old file never places a file elsewhere. A
// plain identifier gives the names unchanged.
namespace StationFileNames {

// The identifier with the characters a plain name cannot hold replaced by
// "-" ("/", "\", ":", control characters, DEL; the dots of a name that holds
// ".."). Its length stays.
QByteArray plainId(const QByteArray &stationId);

// Measurement records: the identifier cut or padded with "-" to 7
// characters, the weekday digit (0 = Sunday), ".", the hour character
// (0-9, A-N) and "MS".
QByteArray measureFileName(const QByteArray &stationId, const QDateTime &local);
// Error files: the identifier as above, the weekday digit, ".", the hour
// character, the counter character (0-9, A-Z) and "R".
QByteArray errorFileName(const QByteArray &stationId, const QDateTime &local, int counter);
// The identifier copy: Trim(identifier) + ".cfg". Empty for an identifier
// that is no plain name: a copy under another name would never be found
// again, so it is not written (its writer reports the failure).
QString configCopyName(const QByteArray &stationId);

// The name filters of the report: identifier + "*.?MS" and identifier +
// "?.??r".
QString measureFilePattern(const QByteArray &stationId);
QString errorFilePattern(const QByteArray &stationId);

} // namespace StationFileNames
