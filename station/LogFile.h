#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>

class StationCore;
struct StationPlatform;

// The station log, zav_sensor_logfile.log in the platform's working
// directory (the process's current directory when it names none). Each line
// is date + " " + time (on the platform's clock) + " /Sensor/ " + text, ended
// by CR LF, in the code page. Callable from any thread; calls are serialised
// so lines never mix. Failures are swallowed (the line is lost).
class LogFile
{
public:
    explicit LogFile(const StationPlatform &platform)
        : m_platform(platform)
    {}

    void WriteLogLine(const QByteArray &text);
    QString path() const;

private:
    const StationPlatform &m_platform;
    std::mutex m_mutex;
};

// Appends one line to the log of the station's core.
void WriteLogLine(StationCore &core, const QByteArray &text);
