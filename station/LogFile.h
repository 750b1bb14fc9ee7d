#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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
// Runs whileHeld with log writes held back: no line is appended meanwhile
// (the reporting thread cuts off the part of a log it has sent).
void holdWrites(const std::function<void()> &whileHeld);
} // namespace LogFile
