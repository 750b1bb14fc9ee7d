#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>

class StationCore;
struct StationPlatform;

// The station log, zav_sensor_logfile.log in the platform's working
// directory (the process's current directory when it names none). Each line
// is date + " " + time (on the platform's clock) + " /Sensor/ " + text, ended
// by CR LF, in the code page. Callable from any thread; calls are serialised
// so lines never mix. A line is written whole or not at all; a line that
// cannot be written is lost (the first of a series of failures is said on
// standard error).
class LogFile
{
public:
    explicit LogFile(const StationPlatform &platform)
        : m_platform(platform)
    {}

    void WriteLogLine(const QByteArray &text);
    QString path() const;
    // Runs whileHeld with log writes held back: no line is appended meanwhile
    // (the reporting thread cuts off the part of a log it has sent).
    void holdWrites(const std::function<void()> &whileHeld);

private:
    const StationPlatform &m_platform;
    std::mutex m_mutex;
    // The log could not be written last time: said once on standard error,
    // not again until a line has been written.
    bool m_failing = false;
};

// Appends one line to the log of the station's core.
void WriteLogLine(StationCore &core, const QByteArray &text);
