#include "platform/ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

QByteArray exeOf(const QByteArray &pidDir)
{
    char buf[4096];
    const ssize_t n = ::readlink((pidDir + "/exe").constData(), buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    QByteArray path(buf, static_cast<qsizetype>(n));
    // A program whose file was replaced since it started (a new version
    // copied over it) still runs from that path: the kernel only marks it.
    static const QByteArray replaced(" (deleted)");
    if (path.endsWith(replaced) && !QFile::exists(QFile::decodeName(path)))
        path.chop(replaced.size());
    return path;
}

// The parent process id from /proc/<pid>/stat, 0 when it cannot be read.
qint64 parentOf(const QByteArray &pidDir)
{
    QFile f(QFile::decodeName(pidDir + "/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.read(4096);
    // pid (comm) state ppid ...: the command name may hold blanks and ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() >= 2 ? fields[1].toLongLong() : 0;
}

} // namespace

// A process whose parent runs the same executable is a helper of that
// program, not a copy of it: the go-between of a detached start before it
// runs the new program, or a sanitizer's tracer task. It is listed without a
// path, so the instance hunt ends the copy itself and never a helper of it
// (ending the helper would leave the old copy running, or waiting forever).
QList<ProcessEntry> LinuxProcessTable::processes()
{
    QList<ProcessEntry> out;
    QHash<qint64, qsizetype> index;
    QList<qint64> parents;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &e : entries) {
        bool ok = false;
        const qint64 pid = e.toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray dir = "/proc/" + e.toLatin1();
        index.insert(pid, out.size());
        out.append({pid, exeOf(dir)});
        parents.append(parentOf(dir));
    }
    QList<qsizetype> helpers;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto parent = index.constFind(parents[i]);
        if (!out[i].exePath.isEmpty() && parent != index.constEnd() && out[*parent].exePath == out[i].exePath)
            helpers.append(i);
    }
    for (qsizetype i : helpers)
        out[i].exePath.clear();
    return out;
}

qint64 LinuxProcessTable::currentPid()
{
    return static_cast<qint64>(::getpid());
}

QByteArray LinuxProcessTable::currentExePath()
{
    return exeOf("/proc/self");
}

bool LinuxProcessTable::terminate(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}
