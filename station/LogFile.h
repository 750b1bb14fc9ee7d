#pragma once

#include <QByteArray>
#include <QString>

// Appends one line to the station log, zav_sensor_logfile.log in the working
// directory: date + " " + time + " /Sensor/ " + text, ended by CR LF, in the
// code page. Callable from any thread; calls are serialised so lines never
// mix. A line is written whole or not at all; a line that cannot be written
// is lost (the first of a series of failures is said on standard error).
void WriteLogLine(const QByteArray &text);

namespace LogFile {
// Directory of the log; empty (the default) means the working directory.
void setDirectory(const QString &dir);
QString path();
} // namespace LogFile
