#pragma once

#include "station/StationConfig.h"
#include "station/StationState.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <functional>

class NoticeSink;

// r2arodire.cfg and the copy named after the station identifier: 17 key line
// and value line pairs (34 lines, CR LF, code-page bytes), read by position.

// The 34 lines as the save writes them from `config` (without line ends).
QByteArrayList StationConfigFileLines(const StationConfig &config);

// The whole file: the 34 lines, each ended by CR LF.
QByteArray StationConfigFileBytes(const StationConfig &config);

// False when a line of the file would hold a CR, an LF or a NUL (a setting
// read from an older, broken file): such a file is never written, as its
// lines are read back by position.
bool StationConfigFitsLines(const StationConfig &config);

// Name of the identifier copy: Trim(StationId) + ".cfg" (".cfg" for an empty
// identifier). Empty when the identifier is no plain file name
// (StationFileNames), so that no identifier can place the copy outside the
// working directory.
QString StationIdCopyFileName(const QByteArray &stationId);

// Writes r2arodire.cfg, then the identifier copy, each replaced whole and
// each with its own failure notice. While r2arodire.cfg is written,
// ComPort takes the text of the port box (`portBoxText`), so a failed create
// of r2arodire.cfg leaves ComPort as it was. GUI thread.
void SaveStationConfigFiles(StationConfig &config, const std::function<QByteArray()> &portBoxText,
                            NoticeSink &notices);

// The start-up reader: fills `config` (thresholds, flags, identifier, server,
// port, interval, CPU distance) and state.CpuTempLimit from r2arodire.cfg,
// falling back to r2arodire.save by renaming it when r2arodire.cfg cannot be
// opened. Returns ConfigReadError: true when no file could be read or a read
// failed (what was read before the failure stays). GUI thread, before any
// worker runs.
bool ReadStationConfigFile(StationConfig &config, StationState &state);
