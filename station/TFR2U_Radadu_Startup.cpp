#include "station/TFR2U_Radadu.h"

#include "common/Clock.h"
#include "common/ProxyConfigFile.h"
#include "common/Text8.h"
#include "platform/MsrReader.h"
#include "platform/OwnWindowSearch.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceStore.h"
#include "platform/Shell.h"
#include "station/ApplicationTitle.h"
#include "station/CpuTemperature.h"
#include "station/InstanceHunt.h"
#include "station/LogFile.h"
#include "station/MyThread.h"
#include "station/ServiceControl.h"
#include "station/StartupTexts.h"
#include "station/StationConfigFile.h"
#include "station/StationIdentifier.h"
#include "station/StationMessageBox.h"
#include "station/StationTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShowEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

void sleepMs(int ms)
{
    Clock::instance().sleep(ms);
}

bool writeWholeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok;
}

} // namespace

void TFR2U_Radadu::processPendingMessages()
{
    QCoreApplication::processEvents();
    m_core->handover.drain();
}

void TFR2U_Radadu::restartTimer1()
{
    Timer1->stop();
    sleepMs(50);
    Timer1->start();
}

void TFR2U_Radadu::Timer1Status(bool on)
{
    if (on)
        Timer1->start();
    else
        Timer1->stop();
}

void TFR2U_Radadu::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TFR2U_Radadu::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate && !m_activated && !m_destroyed && m_created)
        QTimer::singleShot(0, this, [this] {
            if (!m_activated && !m_destroyed)
                FormActivate();
        });
    return handled;
}

void TFR2U_Radadu::FormCreate(const QStringList &arguments)
{
    StationState &st = m_core->state;
    StationConfig &cfg = m_core->config;
    m_created = true;
    // Every box of the station comes a full supervision interval before the
    // tick that closes it, so nothing that start-up shows can block a
    // station nobody watches.
    const auto restartTimer1BeforeBoxes = [this] {
        StationMessageBox::setBeforeShowHook([self = QPointer<TFR2U_Radadu>(this)] {
            if (self)
                self->restartTimer1();
        });
    };
    restartTimer1BeforeBoxes();

    // 1
    cfg.ManualStationId = false;

    // 2: end an older copy of this executable.
    if (m_platform.processes)
        HuntOtherInstance(*m_platform.processes, m_platform.beep ? m_platform.beep : [] {}, sleepMs);

    // 3
    st.TransferBusy = false;
    st.ActiveThreadCount = 0;
    st.RebootAfterUpdate = false;
    st.UpdateFileLocked = false;
    st.NoMsrAccess = false;
    st.CpuTemp = 0;

    // 4
    ReadCpuJunctionLimit(st, MsrReader::instance());

    // 5, 6
    st.ImmediateReport = false;
    ConfigurationMode = false;
    InstallAsService = false;
    StartServiceAfterConfig = false;
    for (const QString &arg : arguments)
        if (arg.toUpper() == QLatin1String(StartupTexts::ConfigurationSwitch))
            ConfigurationMode = true;

    // 7: someone sits at the station for these questions. The supervision
    // tick stays off until they are answered: a question it closed would
    // count as No and remove the service.
    if (ConfigurationMode) {
        StationMessageBox::setBeforeShowHook(nullptr);
        installationSteps();
        restartTimer1BeforeBoxes();
    }

    // 8
    st.DeviceStationId.set({});
    st.ReportHeartbeat.set({});
    WatchReportHeartbeat = " ";
    ConfigReadError = false;
    st.LineInvert = Testmode->isChecked() ? 0 : 1;
    WatchMeasureTime = "?";
    DeadlockCount = 0;
    st.ConnectionCounter = 0;
    st.TerminateRequested = false;
    CaptionPrefix = StationTexts::CaptionPrefix;
    m_core->activity().clear();
    m_core->mirror.ConfigDialogOpen = false;
    st.ComHandle = -1;
    st.AcknowledgeRequest = false;

    // 9, 10 (the semaphore exists with the core)
    createMeasureThread();

    // 11
    EnumCOMPorts();

    // 12, 13
    cfg.ServerHost.clear();
    cfg.ServerPort = StartupTexts::DefaultServerPort;
    cfg.StationId.clear();
    cfg.ComPort.clear();
    ConfigReadError = ReadStationConfigFile(cfg, st);
    CheckRI->setChecked(cfg.CheckRI);
    CheckDC->setChecked(cfg.CheckDC);

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
    st.LastReportTime = Clock::instance().tickSeconds();
    st.AlarmFlags = 0;
    st.ReportedAlarmFlags = 0;
    st.FiledAlarmFlags = 0;

    // 18
    if (cfg.ServerHost.isEmpty())
        cfg.ServerHost = StartupTexts::DefaultServerHost;
    if (cfg.ServerPort.isEmpty())
        cfg.ServerPort = StartupTexts::DefaultServerPort;

    // 19
    fillLimitLabels();

    // 20: the viewer service's socket, opened at the first activation.
    if (!ServerSocket) {
        ServerSocket = new QTcpServer(this);
        ServerSocket->setObjectName(QStringLiteral("ServerSocket"));
        connect(ServerSocket, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = ServerSocket->nextPendingConnection()) {
                s->close();
                s->deleteLater();
            }
        });
    }

    // 21
    if (cfg.ComPort == "?")
        cfg.ComPort.clear();
    if (cfg.ComPort.isEmpty()) {
        if (Edit1->count() > 0) {
            cfg.ComPort = Text8::upper(Text8::fromQString(Edit1->itemText(0)));
            Edit1->setCurrentText(Text8::toQString(cfg.ComPort));
        }
    } else {
        Edit1->setCurrentText(Text8::toQString(Text8::upper(cfg.ComPort)));
    }

    // 22
    QByteArray id = GetFtdiSerialForPort(cfg.ComPort);
    if (cfg.ManualStationId)
        id = cfg.StationId;
    if (!id.isEmpty()) {
        st.DeviceStationId.set(id);
        cfg.StationId = id;
    }

    // 23, 24
    EditServerDisplay->setText(Text8::toQString(cfg.ServerHost));
    setWindowTitle(Text8::toQString(Text8::cp(StartupTexts::Starting)));
    if (cfg.AlarmInterval.isEmpty())
        cfg.AlarmInterval = StartupTexts::DefaultAlarmInterval;

    // 25
    if ((!ConfigReadError || !cfg.ComPort.isEmpty()) && !ConfigurationMode)
        Button1Click();
}

void TFR2U_Radadu::fillLimitLabels()
{
    const StationConfig &cfg = m_core->config;
    const struct
    {
        QLabel *label;
        const QByteArray &min;
        const QByteArray &max;
        const char *unit;
    } rows[] = {
        {LabelTempMinMax, cfg.TempMin, cfg.TempMax, StartupTexts::DegreeUnit},
        {LabelTPMinMax, cfg.TPMin, cfg.TPMax, StartupTexts::DegreeUnit},
        {LabelT_TPMinMax, cfg.TTPMin, cfg.TTPMax, StartupTexts::DegreeUnit},
        {LabelRHMinMax, cfg.RHMin, cfg.RHMax, StartupTexts::PercentUnit},
    };
    for (const auto &r : rows) {
        QByteArray text;
        if (!Text8::trimmed(r.min).isEmpty())
            text += "min: " + r.min + Text8::cp(r.unit);
        if (!Text8::trimmed(r.max).isEmpty())
            text += "max: " + r.max + Text8::cp(r.unit);
        showBoundedText(r.label, Text8::toQString(text));
    }
}

void TFR2U_Radadu::FormShow()
{
    if (ConfigurationMode && !m_configLoopStarted) {
        m_configLoopStarted = true;
        QTimer::singleShot(0, this, [this] { configurationLoop(); });
    }
    Timer2->start();
}

void TFR2U_Radadu::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;
    const StationConfig &cfg = m_core->config;

    // 1, 2
    clearStatusList();
    Timer1->stop();
    if (m_platform.service)
        ServiceControl::WriteServiceControl(*m_platform.service, StartupTexts::Running);

    // 3
    if (ConfigReadError) {
        Timer1->stop();
        Timer2->stop();
        Timer2->setInterval(1000000);
        Timer2->start();
        sleepMs(50);
        if (!ConfigurationMode)
            StationMessageBox::show(Text8::cp(StartupTexts::ConfigReadErrorMessage));
        Timer1->start();
    }

    // 4
    if (cfg.ComPort.isEmpty()) {
        Timer2->setInterval(1000000);
        Timer2->stop();
        sleepMs(50);
        Timer2->start();
        Timer1->stop();
        if (!ConfigurationMode)
            StationMessageBox::show(Text8::cp(StartupTexts::ChoosePortMessage));
        Timer1->start();
    }

    // 5
    Timer1->stop();
    Timer2->stop();
    if (!ConfigurationMode) {
        for (int n = 10; n >= 1; --n) {
            setWindowTitle(Text8::toQString(Text8::cp(StartupTexts::CountdownPrefix) + QByteArray::number(n)
                                            + StartupTexts::CountdownSuffix));
            sleepMs(500);
        }
    }
    Timer1->start();
    Timer2->start();

    // 6
    setWindowTitle(Text8::toQString(CaptionPrefix + Text8::upper(cfg.StationId)));

    // 7: the viewer port, 2002 and up; at most viewerPortTries ports.
    InstanceNumber = 1;
    if (!ConfigurationMode && ServerSocket) {
        quint32 port = m_platform.viewerBasePort;
        int tries = 1;
        while (!ServerSocket->listen(QHostAddress::Any, static_cast<quint16>(port))) {
            if (tries >= m_platform.viewerPortTries || port >= 65535)
                break;
            ++port;
            ++InstanceNumber;
            ++tries;
        }
    }

    // 8
    ApplicationTitle::set(QByteArray(StationTexts::ApplicationTitle) + QByteArray::number(InstanceNumber));

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

    // 10
    if (!ConfigurationMode)
        startMeasureThread();
}

void TFR2U_Radadu::secondInstanceExit()
{
    StationState &st = m_core->state;
    Timer2->stop();
    Timer1->stop();
    Timer1->setInterval(5000);
    Timer1->start();
    StationMessageBox::show(Text8::cp(StartupTexts::SecondInstanceMessage));
    const auto beep = [this] {
        if (m_platform.beep)
            m_platform.beep();
    };
    st.SensorRunning = false;
    beep();
    st.TerminateRequested = true;
    beep();
    processPendingMessages();
    beep();
    sleepMs(111);
    processPendingMessages();
    beep();
    processPendingMessages();
    WriteLogLine(StartupTexts::SecondInstanceLog);
    if (m_platform.quit)
        m_platform.quit();
}

void TFR2U_Radadu::flagFileFailureExit(const InstanceLock::Result &lock)
{
    StationState &st = m_core->state;
    Timer2->stop();
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
    WriteLogLine(Text8::cp(StartupTexts::FlagFileFailureLog) + Text8::fromQString(reason));
    if (m_platform.exit)
        m_platform.exit(StartupTexts::FlagFileFailureExitStatus);
}

void TFR2U_Radadu::waitForWorkers(int rounds, bool beepEachRound)
{
    for (int i = 0; i < rounds && m_core->state.ActiveThreadCount.load() > 0; ++i) {
        processPendingMessages();
        if (beepEachRound && m_platform.beep)
            m_platform.beep();
        sleepMs(50);
    }
}

void TFR2U_Radadu::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    StationState &st = m_core->state;
    Timer1->stop();
    if (!UpdatePending && m_platform.service)
        ServiceControl::WriteServiceControl(*m_platform.service, StartupTexts::Idle);
    InstanceFlagFile.release();
    st.TerminateRequested = true;
    if (m_platform.beep)
        m_platform.beep();
    waitForWorkers(100, true);
    if (m_platform.beep)
        m_platform.beep();
    releaseMeasureThread();
    // The register access goes last: the measurement thread reads it until
    // it ends. Under a worker that did not end in time it stays open and
    // ends with the process.
    if (st.ActiveThreadCount.load() == 0 && !MeasureThread)
        MsrReader::instance().close();
}

void TFR2U_Radadu::Timer1Timer()
{
    StationState &st = m_core->state;
    Timer1->stop();

    // The service host's control value.
    if (m_platform.service
        && ServiceControl::SuperviseControlValue(*m_platform.service) == ServiceControl::Reaction::Shutdown) {
        st.SensorRunning = false;
        if (m_platform.beep)
            m_platform.beep();
        st.TerminateRequested = true;
        // Here each round waits before it beeps.
        for (int i = 0; i < 100 && st.ActiveThreadCount.load() > 0; ++i) {
            processPendingMessages();
            sleepMs(50);
            if (m_platform.beep)
                m_platform.beep();
        }
        if (m_platform.beep)
            m_platform.beep();
        WriteLogLine(StartupTexts::ShutdownLog);
        if (m_platform.quit)
            m_platform.quit();
    }

    // Close a message box of the program that nobody answered.
    QList<QWidget *> leaveAlone;
    if (ConfigDialogWindow)
        leaveAlone.append(ConfigDialogWindow);
    if (QWidget *box = FindOwnDialogWindow(ApplicationTitle::get(), this, leaveAlone)) {
        QMetaObject::invokeMethod(box, "close", Qt::QueuedConnection);
        Timer1->setInterval(1000);
    } else {
        Timer1->setInterval(5000);
    }

    Timer1->start();
}

void TFR2U_Radadu::installationSteps()
{
    Timer1->stop();
    Timer2->stop();
    StationMessageBox::show(Text8::cp(StartupTexts::ConnectSensorMessage), QMessageBox::Ok);
    InstallAsService = StationMessageBox::show(Text8::cp(StartupTexts::InstallQuestion),
                                               QMessageBox::Yes | QMessageBox::No)
                       != QMessageBox::No;

    // The service host's folder becomes the working directory.
    const QByteArray imagePath = m_platform.service
                                     ? ServiceControl::ReadServiceValue(*m_platform.service,
                                                                        StartupTexts::ImagePathValue)
                                     : QByteArray();
    QString dir;
    QByteArray hostPath;
    if (imagePath.isEmpty()) {
        dir = QDir::currentPath();
        hostPath = QFile::encodeName(QDir(dir).filePath(QString::fromLatin1(StartupTexts::HostExe)));
    } else {
        hostPath = imagePath;
        const qsizetype cut = std::max(imagePath.lastIndexOf('\\'), imagePath.lastIndexOf('/'));
        dir = QFile::decodeName(cut >= 0 ? imagePath.left(cut) : imagePath);
    }
    QDir::setCurrent(dir); // a folder that cannot be entered leaves the current one

    const auto runScript = [&](const char *name, const QByteArray &content) {
        writeWholeFile(QString::fromLatin1(name), content);
        const int result = m_platform.shell
                               ? m_platform.shell->open(QDir(dir).filePath(QString::fromLatin1(name)), {}, dir,
                                                        Shell::Show::Minimized)
                               : Shell::NoAssociation;
        return result;
    };
    if (InstallAsService) {
        runScript(StartupTexts::InstallScript, ServiceControl::InstallServiceScript(hostPath));
        sleepMs(3000);
        QFile::remove(QString::fromLatin1(StartupTexts::InstallScript));
    } else {
        if (runScript(StartupTexts::UninstallScript, ServiceControl::UninstallServiceScript()) <= 32)
            StationMessageBox::show(Text8::cp(StartupTexts::UninstallError), QMessageBox::Ok);
        sleepMs(3000);
        QFile::remove(QString::fromLatin1(StartupTexts::UninstallScript));
    }
    if (InstallAsService)
        StartServiceAfterConfig = StationMessageBox::show(Text8::cp(StartupTexts::StartServiceQuestion),
                                                          QMessageBox::Yes | QMessageBox::No)
                                  != QMessageBox::No;
}

void TFR2U_Radadu::configurationLoop()
{
    StationState &st = m_core->state;
    for (;;) {
        if (m_platform.showConfigDialog)
            m_platform.showConfigDialog();
        else if (auto *dialog = qobject_cast<QDialog *>(ConfigDialogWindow))
            dialog->exec();
        QFile cfg(QStringLiteral("r2arodire.cfg"));
        if (cfg.open(QIODevice::ReadOnly)) {
            cfg.readLine();
            if (cfg.error() == QFileDevice::NoError)
                break;
        }
        StationMessageBox::show(Text8::cp(StartupTexts::MustConfigureMessage), QMessageBox::Ok);
    }

    if (InstallAsService && StartServiceAfterConfig) {
        const QString batch = QString::fromLatin1(StartupTexts::ServiceStartBatch);
        const bool written = writeWholeFile(batch, ServiceControl::ServiceStartBatch());
        if (m_platform.shell)
            m_platform.shell->open(batch, {}, {}, Shell::Show::Minimized);
        sleepMs(5000);
        // A file that cannot be deleted is given up after ten more seconds.
        for (int retry = 0; written && !QFile::remove(batch) && retry < 10; ++retry)
            sleepMs(1000);
    }

    st.SensorRunning = false;
    st.TerminateRequested = true;
    if (m_platform.beep)
        m_platform.beep();
    processPendingMessages();
    sleepMs(111);
    if (m_platform.quit)
        m_platform.quit();
}

void TFR2U_Radadu::createMeasureThread()
{
    if (MeasureThread)
        return;
    m_cpu = std::make_unique<CpuTemperature>(*m_core, MsrReader::instance());
    MeasureThread = new MyThread(*m_core, m_platform.serialLines ? m_platform.serialLines
                                                                 : defaultSerialLinesFactory());
    MeasureThread->evaluation().setCpuReader([cpu = m_cpu.get()] { cpu->readForEvaluation(); });
}

void TFR2U_Radadu::startMeasureThread()
{
    if (MeasureThread && !MeasureThread->isRunning() && !MeasureThread->isFinished())
        MeasureThread->start();
}

void TFR2U_Radadu::releaseMeasureThread()
{
    if (!MeasureThread)
        return;
    m_core->state.TerminateRequested = true;
    // A thread that has not ended by now is left to end with the process.
    if (!MeasureThread->isRunning() || MeasureThread->wait(100)) {
        delete MeasureThread;
        MeasureThread = nullptr;
    }
}
