#pragma once

#include "platform/ProcessTable.h"

// A process list given by the test; terminate() removes the entry.
class FakeProcessTable : public ProcessTable
{
public:
    QList<ProcessEntry> processes() override { return list; }
    qint64 currentPid() override { return ownPid; }
    QByteArray currentExePath() override { return ownPath; }
    bool terminate(qint64 pid) override
    {
        terminated.append(pid);
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i].pid == pid) {
                list.removeAt(i);
                return true;
            }
        return false;
    }

    QList<ProcessEntry> list;
    qint64 ownPid = 100;
    QByteArray ownPath;
    QList<qint64> terminated;
};
