#pragma once

#include "platform/ProgramRestart.h"

#include <QDir>
#include <QFile>
#include <QList>

// Records the update restarts the station schedules, with what the update
// file held at that moment; schedules and removes nothing.
class RecordingProgramRestart : public ProgramRestart
{
public:
    bool schedule(const Plan &plan) override
    {
        QFile f(QDir(plan.directory).filePath(plan.update));
        plans.append(plan);
        updates.append(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
        executable.append(f.permissions() & QFileDevice::ExeOwner ? true : false);
        return result;
    }
    QString removeCutOffReplace(const QString &) override { return {}; }
    QList<Plan> plans;
    QList<QByteArray> updates;
    QList<bool> executable; // the update was executable when scheduled
    bool result = true;
};
