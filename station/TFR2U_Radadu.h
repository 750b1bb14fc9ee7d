#pragma once

#include "platform/InstanceLock.h"
#include "station/StationCore.h"
#include "station/StationPlatform.h"
#include "station/StationView.h"

#include <QComboBox>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTcpServer;
class QThread;
class QTimer;
class CpuTemperature;
class MyThread;

// The station's main window. Controls carry their names as object names.
// Worker threads never touch it directly: they reach it through the
// StationView interface, carried to the GUI thread by StationCore.
class TFR2U_Radadu : public QMainWindow, public StationView
{
    Q_OBJECT
public:
    explicit TFR2U_Radadu(QWidget *parent = nullptr);
    ~TFR2U_Radadu() override;

    StationCore &core() { return *m_core; }

    // StationView
    bool addStatusListLine(const QByteArray &text) override;
    void clearStatusList() override;
    void setLastError(const QByteArray &text, const QColor &colour) override;
    void setLastErrorColour(const QColor &colour) override;
    void setValueText(ValueDisplay field, const QByteArray &text) override;
    void setValueColour(ValueDisplay field, const QColor &fontColour) override;
    void setValueBackground(ValueDisplay field, const QColor &colour) override;
    void setLastConnectionText(const QByteArray &text) override;
    void setContactStatus(int input, bool checked, const QColor &colour) override;
    void signalAlarmWindow(int intervalMs, bool focus) override;
    bool alarmSignalled() const override;
    void restoreWindowAfterReport() override;
    // The reporting thread's controls (TFR2U_Radadu_Reporting.cpp).
    void setIntervallLeft(const QByteArray &text) override;
    void setReportCommandsEnabled(bool enabled) override;

    // Shows a text from the settings or a peer in one of this window's
    // labels without letting the window grow past the screen: control
    // characters become blanks, a text wider than a label may grow is cut
    // with an ellipsis and then shown longer in the tooltip.
    static void showBoundedText(QLabel *label, const QString &text);

    // Window colour (normal: clActiveBorder; the alarm paths paint it red).
    void setWindowColour(const QColor &colour);
    QColor windowColour() const;

    // Sensor start and stop (TFR2U_Radadu_Sensor.cpp).
    void Button1Click();
    void Button1Interactive();
    // Fills Edit1 with the COM ports of the FTDI adapters (TFR2U_Radadu_Ports.cpp).
    void EnumCOMPorts();

    // Life of the program (TFR2U_Radadu_Startup.cpp). The program body sets
    // the platform, then runs FormCreate with the command line; the first
    // activation runs FormActivate once; FormDestroy before the window goes.
    void setPlatform(const StationPlatform &platform) { m_platform = platform; }
    StationPlatform &platform() { return m_platform; }
    void FormCreate(const QStringList &arguments);
    void FormActivate();
    void FormShow();
    void FormDestroy();
    bool activated() const { return m_activated; }

    // Supervision tick and its interval setter.
    void Timer1Timer();
    void Timer1Status(bool on);
    // Timer1 off, 50 ms pause, on: the next tick, which closes the
    // program's own open message boxes, comes a full interval later.
    void restartTimer1();

    // The two questions before the window closes: true when both were
    // answered Yes. A confirmed close ends the program.
    bool FormClose();

    // Timer handlers.
    void Timer2Timer();
    void Timer5Timer();

    // Values of the main window's code.
    bool ConfigReadError = false;
    bool ConfigurationMode = false;
    bool InstallAsService = false;
    bool StartServiceAfterConfig = false;
    bool UpdatePending = false;
    QByteArray CaptionPrefix;
    QByteArray WatchMeasureTime = "?";
    QByteArray WatchReportHeartbeat = " ";
    int DeadlockCount = 0;
    int InstanceNumber = 1;
    InstanceLock InstanceFlagFile;
    QTcpServer *ServerSocket = nullptr;
    MyThread *MeasureThread = nullptr;
    QWidget *ConfigDialogWindow = nullptr;

    // Controls that other parts of the station use.
    QPushButton *Button1 = nullptr;   // "Start Sensor" / "Stop Sensor"
    QPushButton *Button2 = nullptr;   // "Konfiguration" (hidden)
    QPushButton *Button3 = nullptr;   // "quittieren"
    QPushButton *Button4 = nullptr;   // "COM-Port-Manager" (hidden)
    QComboBox *Edit1 = nullptr;       // COM port (hidden)
    // The configuration dialog's port list (ComSelectComboBox1) once the
    // dialog exists; EnumCOMPorts fills it with the same entries as Edit1.
    QPointer<QComboBox> DialogPortList;
    QCheckBox *Testmode = nullptr;    // hidden
    QCheckBox *CheckRI = nullptr;     // input 1 watched (display only)
    QCheckBox *CheckDC = nullptr;     // input 2 watched (display only)
    QCheckBox *RIStat = nullptr;      // input 1 active
    QCheckBox *DCStat = nullptr;      // input 2 active
    QLabel *LabelLastConnection = nullptr;
    QLabel *LastErrorLabel = nullptr;
    QPlainTextEdit *Listbox = nullptr;
    QLineEdit *EditT = nullptr;
    QLineEdit *EditTP = nullptr;
    QLineEdit *EditT_TP = nullptr;
    QLineEdit *EditRH = nullptr;
    QLineEdit *EditCpuTemp = nullptr;
    QLabel *LabelTempMinMax = nullptr;
    QLabel *LabelTPMinMax = nullptr;
    QLabel *LabelT_TPMinMax = nullptr;
    QLabel *LabelRHMinMax = nullptr;
    QLineEdit *EditServerDisplay = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *Timer5 = nullptr;
    // Seconds to the next report or the reporting thread's step marker;
    // hidden like the activity list. Made on first use.
    QLineEdit *IntervallLeft = nullptr;
    // The menu items Konfiguration1 and Proxy1 come with the menu; until then
    // their enabled state is kept here.
    bool Konfiguration1Enabled = true;
    bool Proxy1Enabled = true;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    QLineEdit *valueEdit(ValueDisplay field) const;
    void installationSteps();
    void configurationLoop();
    void secondInstanceExit();
    void flagFileFailureExit(const InstanceLock::Result &lock);
    void waitForWorkers(int rounds, bool beepEachRound);
    void fillLimitLabels();
    void createMeasureThread();
    void startMeasureThread();
    void releaseMeasureThread();
    void processPendingMessages();
    QLineEdit *intervallLeftBox();

    StationPlatform m_platform = StationPlatform::system();
    std::unique_ptr<CpuTemperature> m_cpu;
    bool m_created = false;
    bool m_activated = false;
    bool m_destroyed = false;
    bool m_configLoopStarted = false;

    std::unique_ptr<StationCore> m_core;
};
