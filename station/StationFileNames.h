#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>

// The names of the files that carry the station identifier: measurement
// records, error files and the identifier copy of the configuration, and the
// search that finds them again. Every name is a plain name in the
// working folder. In the names of records and error files an identifier that
// could not be one (see ConfigValueChecks::isPlainStationId) has each
// offending character replaced by "-", so that no measurement is lost and
// even an identifier read from an old file never places a file elsewhere. A
// plain identifier gives the names unchanged.
namespace StationFileNames {

// The identifier with the characters a plain name cannot hold replaced by
// "-" ("/", "\", ":", control characters, DEL; the dots of a name that holds
// ".."). Its length stays. The record and error lines and the names on the
// server carry this form too.
QByteArray plainId(const QByteArray &stationId);

// The identifier as the names of records and error files carry it: the
// plain form of its first 7 characters, padded with "-" to 7.
QByteArray fileId(const QByteArray &stationId);

// Measurement records: fileId, the weekday digit (0 = Sunday), ".", the hour
// character (0-9, A-N) and "MS".
QByteArray measureFileName(const QByteArray &stationId, const QDateTime &local);
// Error files: fileId, the weekday digit, ".", the hour character, the
// counter character (0-9, A-Z) and "R".
QByteArray errorFileName(const QByteArray &stationId, const QDateTime &local, int counter);
// The identifier copy: Trim(identifier) + ".cfg". Empty for an identifier
// that is no plain name: a copy under another name would never be found
// again, so it is not written (its writer reports the failure).
QString configCopyName(const QByteArray &stationId);

// The station's records (every entry but directories) and error files
// (plain files) in `dir`, hidden names included, in name order: what the
// report sends. A name is one of them when it begins with fileId and goes on
// in the shape "*.?MS" or "?.??R". The identifier part is compared as text,
// so no character of an identifier widens the search; without regard to
// case, as the platform's directory search does.
QStringList measureFiles(const QDir &dir, const QByteArray &stationId);
QStringList errorFiles(const QDir &dir, const QByteArray &stationId);

} // namespace StationFileNames
