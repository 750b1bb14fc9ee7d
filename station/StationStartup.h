#pragma once

#include "platform/InstanceLock.h"

#include <QByteArray>
#include <QStringList>

class Installation;
class SensorControl;
class StationCore;
class StationWindow;
class ViewerService;
class WorkerLifecycle;

// The life of the station program: the start-up steps when the main window
// is created, the first activation (countdown, viewer port, single-instance
// lock, measurement start), the exit of a second instance and the shut-down
// when the window goes.
class StationStartup
{
public:
    StationStartup(StationCore &core, StationWindow &window, WorkerLifecycle &workers, ViewerService &viewer,
                   SensorControl &sensor, Installation &installation);

    // The start-up steps with the command line's arguments.
    void FormCreate(const QStringList &arguments);
    // The window is shown: starts the configuration loop once in the
    // installation mode.
    void FormShow();
    // The first activation; later calls do nothing.
    void FormActivate();
    // The shut-down; once.
    void FormDestroy();
    // The window goes: shuts down when that has not happened, ends the
    // hand-over and releases the workers.
    void windowGone();

    bool created() const { return m_created; }
    bool activated() const { return m_activated; }
    bool destroyed() const { return m_destroyed; }

    // State of the start-up that the rest of the program reads.
    bool ConfigReadError = false;
    bool ConfigurationMode = false;
    QByteArray CaptionPrefix;
    QByteArray WatchMeasureTime = "?";
    QByteArray WatchReportHeartbeat = " ";
    int DeadlockCount = 0;
    InstanceLock InstanceFlagFile;

private:
    void secondInstanceExit();
    void flagFileFailureExit(const InstanceLock::Result &lock);
    void logPutBackProgram();
    void removeCutOffReplace();
    void waitForWorkers(int rounds, bool beepEachRound);
    void fillLimitLabels();

    StationCore &m_core;
    StationWindow &m_window;
    WorkerLifecycle &m_workers;
    ViewerService &m_viewer;
    SensorControl &m_sensor;
    Installation &m_installation;
    bool m_created = false;
    bool m_activated = false;
    bool m_destroyed = false;
    bool m_configLoopStarted = false;
};
