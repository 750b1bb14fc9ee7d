#pragma once

#include "common/Clock.h"

#include <QtGlobal>

// The reporting thread's own state between passes, owned by the thread and
// shared by reference with its parts (alarm filing, report session,
// configuration exchange).
struct ReportThreadState
{
    // Error file names: counter within the hour and the hour it counts.
    qint32 ErrorFileCount = 0;
    qint32 ErrorFileHour = 0;
    // The last report failed; cleared by an acknowledgement or a report.
    bool ReportFailed = false;
    // A LAN error file was made for the current failure streak.
    bool LanErrorFiled = false;
    bool FirstPass = true;
    bool ReportDue = false;
    // Alarm bits filed as error files and not yet reported.
    quint32 PendingAlarmFlags = 0;
    // The report interval in seconds and the tick of the current pass.
    qint32 ReportInterval = 0;
    TickSeconds PassTickTime = 0;
    // Set by the configuration download when the received copy's 35th line
    // is "UPDATE"; the update steps fetch the updates only then. It keeps its
    // value until a download reaches that line again.
    bool UpdateRequested = false;
};
