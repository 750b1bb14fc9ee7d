#pragma once

// Figures of a running process from /proc, for the benchmarks: CPU time of
// the process and of each of its threads, and lines of its status file.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace ProcessFigures {

// utime + stime in seconds from a /proc/.../stat file.
inline double cpuSecondsFromStat(const QString &statPath)
{
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

inline double cpuSeconds(qint64 pid)
{
    return cpuSecondsFromStat(QStringLiteral("/proc/%1/stat").arg(pid));
}

// The thread ids of a process.
inline QStringList threadIds(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

inline double threadCpuSeconds(qint64 pid, const QString &tid)
{
    return cpuSecondsFromStat(QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(tid));
}

inline QByteArray threadName(qint64 pid, const QString &tid)
{
    QFile f(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(tid));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

// The value of a "Key:" line of /proc/<pid>/status ("?" when missing).
inline QByteArray statusLine(qint64 pid, const char *key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed();
    return "?";
}

} // namespace ProcessFigures
