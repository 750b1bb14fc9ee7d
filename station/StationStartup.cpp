#include "station/StationStartup.h"

#include "common/Clock.h"
#include "common/ProxyConfigFile.h"
#include "common/Text8.h"
#include "platform/MsrReader.h"
#include "platform/ProgramRestart.h"
#include "platform/UpdateFallback.h"
#include "station/ApplicationTitle.h"
#include "station/CpuTemperature.h"
#include "station/Installation.h"
#include "station/InstanceHunt.h"
#include "station/LimitLabels.h"
#include "station/LogFile.h"
#include "station/SensorControl.h"
#include "station/ServiceControl.h"
#include "station/StartupTexts.h"
#include "station/StationConfigFile.h"
#include "station/StationCore.h"
#include "station/StationIdentifier.h"
#include "station/StationTexts.h"
#include "station/StationWindow.h"
#include "station/ViewerService.h"
#include "station/WorkerLifecycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

StationStartup::StationStartup(StationCore &core, StationWindow &window, WorkerLifecycle &workers,
                               ViewerService &viewer, SensorControl &sensor, Installation &installation)
    : m_core(core)
    , m_window(window)
    , m_workers(workers)
    , m_viewer(viewer)
    , m_sensor(sensor)
    , m_installation(installation)
{}

void StationStartup::FormCreate(const QStringList &arguments)
{
    StationState &st = m_core.state;
    StationConfig &cfg = m_core.config;
    const StationPlatform &platform = m_core.platform();
    // Every box of the station comes a full supervision interval before the
    // tick that closes it, so nothing that start-up shows can block a
    // station nobody watches.
    m_window.setTimer1RestartBeforeNotices(true);

    // 1
    cfg.ManualStationId = false;

    // 2: end an older copy of this executable.
    if (platform.processes)
        HuntOtherInstance(
            *platform.processes, platform.beep ? platform.beep : [] {}, [this](int ms) { m_core.sleep(ms); });

    // 3
    st.TransferBusy = false;
    st.ActiveThreadCount = 0;
    st.RebootAfterUpdate = false;
    st.UpdateFileLocked = false;
    st.NoMsrAccess = false;
    st.CpuTemp = 0;

    // 4
    ReadCpuJunctionLimit(st, m_core.msr());

    // 5, 6
    st.ImmediateReport = false;
    ConfigurationMode = false;
    m_installation.InstallAsService = false;
    m_installation.StartServiceAfterConfig = false;
    for (const QString &arg : arguments)
        if (arg.toUpper() == QLatin1String(StartupTexts::ConfigurationSwitch))
            ConfigurationMode = true;

    // 7: someone sits at the station for these questions. The supervision
    // tick stays off until they are answered: a question it closed would
    // count as No and remove the service.
    if (ConfigurationMode) {
        m_window.setTimer1RestartBeforeNotices(false);
        m_installation.installationSteps();
        m_window.setTimer1RestartBeforeNotices(true);
    }

    // 8
    st.DeviceStationId.set({});
    st.ReportHeartbeat.set({});
    WatchReportHeartbeat = " ";
    ConfigReadError = false;
    st.LineInvert = m_window.testMode() ? 0 : 1;
    WatchMeasureTime = "?";
    DeadlockCount = 0;
    st.ConnectionCounter = 0;
    st.TerminateRequested = false;
    CaptionPrefix = StationTexts::CaptionPrefix;
    m_core.activity().clear();
    m_core.mirror.ConfigDialogOpen = false;
    st.ComHandle = -1;
    st.AcknowledgeRequest = false;

    // 9, 10 (the semaphore exists with the core)
    m_workers.createMeasureThread();

    // 11
    m_sensor.listPorts();

    // 12, 13
    cfg.ServerHost.clear();
    cfg.ServerPort = StartupTexts::DefaultServerPort;
    cfg.StationId.clear();
    cfg.ComPort.clear();
    ConfigReadError = ReadStationConfigFile(cfg, st);
    m_window.setContactWatch(cfg.CheckRI, cfg.CheckDC);

    // 14
    cfg.Proxy.ProxyHost.clear();
    cfg.Proxy.ProxyPassword.clear();
    cfg.Proxy.ProxyUser.clear();
    cfg.Proxy.ProxyPort = 1080;
    cfg.Proxy.UseProxy = false;
    ProxyConfigFile::readInto(cfg.Proxy);

    // 15, 16
    if (cfg.StationId.isEmpty())
        cfg.StationId = StartupTexts::DefaultStationId;
    st.LastReportTime = m_core.clock().tickSeconds();
    st.AlarmFlags = 0;
    st.ReportedAlarmFlags = 0;
    st.FiledAlarmFlags = 0;

    // 17: the reporting thread, started with the measurement thread.
    if (m_core.platform().reportThread)
        m_workers.add(m_core.platform().reportThread(m_core));

    // 18
    if (cfg.ServerHost.isEmpty())
        cfg.ServerHost = StartupTexts::DefaultServerHost;
    if (cfg.ServerPort.isEmpty())
        cfg.ServerPort = StartupTexts::DefaultServerPort;

    // 19
    fillLimitLabels();

    // 20: the viewer service's socket, opened at the first activation.
    m_viewer.open();

    // 21
    if (cfg.ComPort == "?")
        cfg.ComPort.clear();
    if (cfg.ComPort.isEmpty()) {
        const QByteArray first = m_window.firstListedPort();
        if (!first.isEmpty()) {
            cfg.ComPort = Text8::upper(first);
            m_window.setPortText(cfg.ComPort);
        }
    } else {
        m_window.setPortText(Text8::upper(cfg.ComPort));
    }

    // 22
    QByteArray id = GetFtdiSerialForPort(cfg.ComPort, m_core.ports());
    if (cfg.ManualStationId)
        id = cfg.StationId;
    if (!id.isEmpty()) {
        st.DeviceStationId.set(id);
        cfg.StationId = id;
    }

    // 23, 24
    m_window.setServerDisplay(cfg.ServerHost);
    m_window.setCaption(Text8::cp(StartupTexts::Starting));
    if (cfg.AlarmInterval.isEmpty())
        cfg.AlarmInterval = StartupTexts::DefaultAlarmInterval;

    // 25
    if ((!ConfigReadError || !cfg.ComPort.isEmpty()) && !ConfigurationMode)
        m_sensor.toggle();
    // Only now may the first activation run: a box shown above runs the
    // message loop, and an activation inside it would retitle the program,
    // so that the supervision tick no longer finds the box to close it.
    m_created = true;
}

void StationStartup::fillLimitLabels()
{
    FillLimitLabels(m_core.config, m_window);
}

void StationStartup::FormShow()
{
    if (ConfigurationMode && !m_configLoopStarted) {
        m_configLoopStarted = true;
        m_window.runLater([this] { m_installation.configurationLoop(); });
    }
    m_window.startWindowTimer(StationTimer::Timer2);
}

void StationStartup::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;
    const StationConfig &cfg = m_core.config;
    const StationPlatform &platform = m_core.platform();

    // 1, 2
    m_core.view().clearStatusList();
    m_window.stopWindowTimer(StationTimer::Timer1);
    if (platform.service)
        ServiceControl::WriteServiceControl(*platform.service, StartupTexts::Running);

    // 3
    if (ConfigReadError) {
        m_window.stopWindowTimer(StationTimer::Timer1);
        m_window.stopWindowTimer(StationTimer::Timer2);
        m_window.setWindowTimerInterval(StationTimer::Timer2, 1000000);
        m_window.startWindowTimer(StationTimer::Timer2);
        m_core.sleep(50);
        if (!ConfigurationMode)
            m_core.notify(Text8::cp(StartupTexts::ConfigReadErrorMessage));
        m_window.startWindowTimer(StationTimer::Timer1);
    }

    // 4
    if (cfg.ComPort.isEmpty()) {
        m_window.setWindowTimerInterval(StationTimer::Timer2, 1000000);
        m_window.stopWindowTimer(StationTimer::Timer2);
        m_core.sleep(50);
        m_window.startWindowTimer(StationTimer::Timer2);
        m_window.stopWindowTimer(StationTimer::Timer1);
        if (!ConfigurationMode)
            m_core.notify(Text8::cp(StartupTexts::ChoosePortMessage));
        m_window.startWindowTimer(StationTimer::Timer1);
    }

    // 5
    m_window.stopWindowTimer(StationTimer::Timer1);
    m_window.stopWindowTimer(StationTimer::Timer2);
    // A program asked to end meanwhile (SHUTDOWN while a box was open)
    // does not start up any further.
    if (m_core.quitRequested())
        return;
    if (!ConfigurationMode) {
        for (int n = 10; n >= 1 && !m_core.quitRequested(); --n) {
            m_window.setCaption(Text8::cp(StartupTexts::CountdownPrefix) + QByteArray::number(n) +
                                StartupTexts::CountdownSuffix);
            m_core.sleep(500);
        }
    }
    m_window.startWindowTimer(StationTimer::Timer1);
    m_window.startWindowTimer(StationTimer::Timer2);

    // 6
    m_window.setCaption(CaptionPrefix + Text8::upper(cfg.StationId));

    // 7: the viewer port, 2002 and up; at most viewerPortTries ports.
    m_viewer.resetInstanceNumber();
    if (!ConfigurationMode)
        m_viewer.listen();

    // 8
    ApplicationTitle::set(QByteArray(StationTexts::ApplicationTitle) +
                          QByteArray::number(m_viewer.instanceNumber()));

    // 9: the single-instance lock of this working directory. Only a lock
    // that another running copy holds makes this one a second instance; a
    // flag file that cannot be written at all ends the station with an error.
    const InstanceLock::Result lock = InstanceFlagFile.acquire(
        QString::fromLatin1(StartupTexts::FlagFileName), ApplicationTitle::get() + "\r\n");
    if (lock.status == InstanceLock::Status::HeldByOther) {
        secondInstanceExit();
    } else if (!lock.acquired()) {
        flagFileFailureExit(lock);
        return;
    }
    // The copy that holds the working directory tells why it runs again in
    // place of a new program that could not run. The note is taken only
    // here, past the points where a start ends: a put-back program that
    // cannot start either leaves it to the restart helper, which then holds
    // the machine to blame and not the update.
    if (lock.acquired()) {
        removeCutOffReplace();
        logPutBackProgram();
    }

    // 10
    if (!ConfigurationMode) {
        m_window.addTrayIcon();
        m_workers.startAll();
    }
}

void StationStartup::secondInstanceExit()
{
    StationState &st = m_core.state;
    m_window.stopWindowTimer(StationTimer::Timer2);
    m_window.stopWindowTimer(StationTimer::Timer1);
    m_window.setWindowTimerInterval(StationTimer::Timer1, 5000);
    m_window.startWindowTimer(StationTimer::Timer1);
    m_core.notify(Text8::cp(StartupTexts::SecondInstanceMessage));
    st.SensorRunning = false;
    m_core.beep();
    st.TerminateRequested = true;
    m_core.beep();
    m_core.processPendingMessages();
    m_core.beep();
    m_core.sleep(111);
    m_core.processPendingMessages();
    m_core.beep();
    m_core.processPendingMessages();
    WriteLogLine(m_core, StartupTexts::SecondInstanceLog);
    m_core.quit();
}

// An update restart cut off in the middle of its replace (a power cut)
// leaves its temporary copies beside the program file.
void StationStartup::removeCutOffReplace()
{
    ProgramRestart *restart = m_core.platform().restart;
    if (!restart)
        return;
    const QString problem = restart->removeCutOffReplace(QCoreApplication::applicationFilePath());
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "klimawarte: %s\n", qPrintable(problem));
        std::fflush(stderr);
    }
}

void StationStartup::logPutBackProgram()
{
    const UpdateFallback::Taken taken = UpdateFallback::takeNote();
    if (!taken.problem.isEmpty()) {
        std::fprintf(stderr, "klimawarte: %s\n", qPrintable(taken.problem));
        std::fflush(stderr);
    }
    if (!taken.note)
        return;
    const UpdateFallback::Note &note = *taken.note;
    WriteLogLine(m_core,
                 Text8::cp(StartupTexts::FallbackLog) +
                     Text8::cp(note.signalled ? StartupTexts::FallbackSignal : StartupTexts::FallbackStatus) +
                     QByteArray::number(note.code) + Text8::cp(StartupTexts::FallbackProgram) +
                     Text8::fromQString(QFile::decodeName(note.program)) +
                     Text8::cp(StartupTexts::FallbackEnd));
}

void StationStartup::flagFileFailureExit(const InstanceLock::Result &lock)
{
    StationState &st = m_core.state;
    m_window.stopWindowTimer(StationTimer::Timer2);
    st.SensorRunning = false;
    st.TerminateRequested = true;
    const char *what = lock.step == InstanceLock::Step::Open   ? "open"
                       : lock.step == InstanceLock::Step::Lock ? "lock"
                                                               : "write";
    const QString reason = qt_error_string(lock.error);
    std::fprintf(
        stderr, "klimawarte: cannot %s the single-instance flag file %s: %s; the station ends\n", what,
        qPrintable(QDir::current().absoluteFilePath(QString::fromLatin1(StartupTexts::FlagFileName))),
        qPrintable(reason));
    std::fflush(stderr);
    WriteLogLine(m_core, Text8::cp(StartupTexts::FlagFileFailureLog) + Text8::fromQString(reason));
    const StationPlatform &platform = m_core.platform();
    if (platform.exit)
        platform.exit(StartupTexts::FlagFileFailureExitStatus);
}

void StationStartup::waitForWorkers(int rounds, bool beepEachRound)
{
    for (int i = 0; i < rounds && m_core.state.ActiveThreadCount.load() > 0; ++i) {
        m_core.processPendingMessages();
        if (beepEachRound)
            m_core.beep();
        m_core.sleep(50);
    }
}

void StationStartup::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    StationState &st = m_core.state;
    const StationPlatform &platform = m_core.platform();
    m_window.stopWindowTimer(StationTimer::Timer1);
    if (!m_core.mirror.UpdatePending.load() && platform.service)
        ServiceControl::WriteServiceControl(*platform.service, StartupTexts::Idle);
    InstanceFlagFile.release();
    m_window.removeTrayIcon();
    st.TerminateRequested = true;
    m_core.beep();
    waitForWorkers(100, true);
    m_core.beep();
    m_workers.release();
    // The register access goes last: the measurement thread reads it until
    // it ends. Under a worker that did not end in time it stays open and
    // ends with the process.
    if (st.ActiveThreadCount.load() == 0 && !m_workers.measureThread())
        m_core.msr().close();
}

void StationStartup::windowGone()
{
    if (m_activated && !m_destroyed)
        FormDestroy();
    m_core.state.TerminateRequested = true;
    m_core.handover.close(); // no worker waits for this window any more
    m_workers.release();
}
