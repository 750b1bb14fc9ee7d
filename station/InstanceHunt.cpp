#include "station/InstanceHunt.h"

#include "platform/ProcessTable.h"

namespace {
QByteArray normalised(const QByteArray &path)
{
    qsizetype end = 0;
    while (end < path.size() && static_cast<unsigned char>(path[end]) >= 0x20)
        ++end;
    return path.left(end).toLower();
}
} // namespace

OtherInstances FindOtherInstances(ProcessTable &table, const std::function<void()> &beep,
                                  const std::function<void(int ms)> &pause)
{
    OtherInstances found;
    const qint64 own = table.currentPid();
    const QByteArray ownPath = normalised(table.currentExePath());
    if (ownPath.isEmpty())
        return found;
    for (const ProcessEntry &p : table.processes()) {
        if (p.pid == own || p.pid == 0 || normalised(p.exePath) != ownPath)
            continue;
        if (found.first == 0)
            found.first = p.pid;
        else
            found.second = p.pid;
        beep();
        pause(500);
    }
    return found;
}

qint64 HuntOtherInstance(ProcessTable &table, const std::function<void()> &beep,
                         const std::function<void(int ms)> &pause)
{
    const OtherInstances found = FindOtherInstances(table, beep, pause);
    const qint64 target = found.second != 0 ? found.second : found.first;
    if (target == 0)
        return 0;
    table.terminate(target);
    pause(5000);
    return target;
}
