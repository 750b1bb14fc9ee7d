#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

struct ProcessEntry
{
    qint64 pid = 0;
    QByteArray exePath; // empty when the process could not be inspected
};

// Running processes with their executable paths, and a way to end one.
class ProcessTable
{
public:
    virtual ~ProcessTable() = default;
    virtual QList<ProcessEntry> processes() = 0;
    virtual qint64 currentPid() = 0;
    virtual QByteArray currentExePath() = 0;
    // Ends the process at once; false when it could not be ended.
    virtual bool terminate(qint64 pid) = 0;
};

// Linux: /proc/<pid>/exe and kill(SIGKILL).
class LinuxProcessTable : public ProcessTable
{
public:
    QList<ProcessEntry> processes() override;
    qint64 currentPid() override;
    QByteArray currentExePath() override;
    bool terminate(qint64 pid) override;
};
