#include "platform/ProcessTable.h"

#include <QDir>
#include <QFile>

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

} // namespace

QList<ProcessEntry> LinuxProcessTable::processes()
{
    QList<ProcessEntry> out;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &e : entries) {
        bool ok = false;
        const qint64 pid = e.toLongLong(&ok);
        if (!ok)
            continue;
        out.append({pid, exeOf("/proc/" + e.toLatin1())});
    }
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
