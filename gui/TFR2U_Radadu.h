#pragma once

#include "gui/StationMessageBox.h"
#include "station/Installation.h"
#include "station/RemoteConfigTarget.h"
#include "station/SensorControl.h"
#include "station/StationCore.h"
#include "station/StationPlatform.h"
#include "station/StationStartup.h"
#include "station/StationView.h"
#include "station/StationWindow.h"
#include "station/SupervisionTick.h"
#include "station/ViewerService.h"
#include "station/WorkerLifecycle.h"

#include <QComboBox>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class TImpressum;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TFConfig;

// The station's main window: its controls (carrying their names as object
// names) and timers. Every handler keeps its name and hands the work to the
// widget-free classes of the station; the window implements what they need
// of it: StationView for the workers (carried to the GUI thread by
// StationCore) and StationWindow for start-up, installation, supervision and
// the sensor start, and RemoteConfigTarget for a viewer's configuration.
class TFR2U_Radadu : public QMainWindow, public StationView, public StationWindow, public RemoteConfigTarget
{
    Q_OBJECT
public:
    explicit TFR2U_Radadu(QWidget *parent = nullptr);
    ~TFR2U_Radadu() override;

    StationCore &core() { return *m_core; }
    StationStartup &startup() { return m_startup; }
    Installation &installation() { return m_installation; }
    ViewerService &viewer() { return m_viewer; }
    WorkerLifecycle &workers() { return m_workers; }

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
    void rearmTimer1(int ms) override;

    // Shows a text from the settings or a peer in one of this window's
    // labels without letting the window grow past the screen: control
    // characters become blanks, a text wider than a label may grow is cut
    // with an ellipsis and then shown longer in the tooltip.
    static void showBoundedText(QLabel *label, const QString &text);

    // StationWindow
    void setCaption(const QByteArray &text) override;
    void setLimitText(LimitLabel label, const QByteArray &text) override;
    void setServerDisplay(const QByteArray &text) override;
    void setContactWatch(bool input1, bool input2) override;
    bool testMode() const override;
    void setPortList(const QList<QByteArray> &ports) override;
    QByteArray firstListedPort() const override;
    QByteArray portText() const override;
    void setPortText(const QByteArray &text) override;
    QByteArray startButtonCaption() const override;
    void setStartButtonCaption(const QByteArray &text) override;
    void setControlEnabled(SensorControlItem item, bool enabled) override;
    void startWindowTimer(StationTimer timer) override;
    void stopWindowTimer(StationTimer timer) override;
    void setWindowTimerInterval(StationTimer timer, int ms) override;
    void setTimer1RestartBeforeNotices(bool on) override;
    bool closeOwnOpenBox() override;
    void showConfigDialog() override;
    void runLater(std::function<void()> work) override;
    void addTrayIcon() override;
    void removeTrayIcon() override;
    bool aboutBoxShowing() const override;
    void closeAboutBox() override;

    // Window colour (normal: clActiveBorder; the alarm paths paint it red).
    void setWindowColour(const QColor &colour);
    QColor windowColour() const;

    // A viewer's configuration (hand-overs of its connection thread): the
    // setters and the save of FConfig, the server display, Button1Click.
    void remoteSet(int item, const QByteArray &value) override;
    void remoteApply() override;
    void showServerHost(const QByteArray &host) override;
    void clickStartButton() override;

    // Sensor start and stop (SensorControl).
    void Button1Click();
    void Button1Interactive();
    // Fills Edit1 with the COM ports of the FTDI adapters.
    void EnumCOMPorts();

    // Life of the program (StationStartup). The program body sets the
    // platform, then runs FormCreate with the command line; the first
    // activation runs FormActivate once; FormDestroy before the window goes.
    // The platform's notices are shown through the window's message boxes,
    // which restart the supervision timer first; without notices of its own
    // the platform gets the real boxes.
    void setPlatform(StationPlatform platform);
    StationPlatform &platform() { return m_core->platform(); }
    StationMessageBox &messageBoxes() { return m_boxes; }
    // The production platform: StationPlatform::system() with the beep.
    static StationPlatform systemPlatform();
    void FormCreate(const QStringList &arguments);
    void FormActivate();
    void FormShow();
    void FormDestroy();
    bool activated() const { return m_startup.activated(); }

    // Supervision tick (SupervisionTick) and its interval setter.
    void Timer1Timer();
    void Timer1Status(bool on) override;
    // Timer1 off, 50 ms pause, on: the next tick, which closes the
    // program's own open message boxes, comes a full interval later.
    void restartTimer1();

    // The two questions before the window closes: true when both were
    // answered Yes. A confirmed close ends the program.
    bool FormClose();

    // Timer handlers.
    void Timer2Timer();
    void Timer4Timer();
    void Timer5Timer();

    // The tray icon: added at activation and at every supervision tick where
    // the desktop has a notification area; a double click shows the window.
    // Without one the window is never hidden, only minimised, so that it
    // stays in the task list.
    void TaskBarAddIcon();
    bool hasTray() const;
    // Hides the window into the tray (minimises it where there is none).
    void hideToTray();

    // Menu commands and handlers (TFR2U_Radadu_Commands.cpp).
    void Button4Click();
    void Button5Click() {}
    void Proxy1Click();
    void Info1Click();
    void Extra1Click();
    void Testmodeaktiv1Click();
    void EditTDblClick();
    void Edit1DblClick();
    void Edit1Change();
    void Edit1Enter();
    void Edit1Exit();
    void FormHide() {}

    // The configuration dialog: shown by the configuration loop and left
    // alone by the supervision tick.
    QWidget *ConfigDialogWindow = nullptr;
    // The configuration dialog FConfig, once it exists (it registers itself).
    TFConfig *FConfig = nullptr;
    // "Konfiguration" (ConfigurationCommand) and the acknowledge "quittieren".
    void Button2Click();
    void Button3Click();

    // Controls that other parts of the station use.
    QPushButton *Button1 = nullptr; // "Start Sensor" / "Stop Sensor"
    QPushButton *Button2 = nullptr; // "Konfiguration" (hidden)
    QPushButton *Button3 = nullptr; // "quittieren"
    QPushButton *Button4 = nullptr; // "COM-Port-Manager" (hidden)
    QComboBox *Edit1 = nullptr;     // COM port (hidden)
    // The configuration dialog's port list (ComSelectComboBox1) once the
    // dialog exists; EnumCOMPorts fills it with the same entries as Edit1.
    QPointer<QComboBox> DialogPortList;
    QCheckBox *Testmode = nullptr; // hidden
    QCheckBox *CheckRI = nullptr;  // input 1 watched (display only)
    QCheckBox *CheckDC = nullptr;  // input 2 watched (display only)
    QCheckBox *RIStat = nullptr;   // input 1 active
    QCheckBox *DCStat = nullptr;   // input 2 active
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
    QLabel *IntervallLabel = nullptr;  // "nächste"
    QLabel *IntervallLabel2 = nullptr; // "Meldung"
    QLabel *IntervallLabel3 = nullptr; // "(s)"
    QPushButton *Button5 = nullptr;    // hidden, disabled
    QTimer *Timer4 = nullptr;
    QSystemTrayIcon *TrayIcon = nullptr;
    // MainMenu1 and its items.
    QAction *Konfiguration1 = nullptr;
    QMenu *Extra1 = nullptr;
    QAction *Testmodeaktiv1 = nullptr;
    QAction *COMPortManager1 = nullptr;
    QAction *Info1 = nullptr;
    QAction *Proxy1 = nullptr;
    // The about box and the proxy dialog, once they exist.
    TImpressum *Impressum = nullptr;
    QDialog *FConfigProxyZugang = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *valueEdit(ValueDisplay field) const;
    QTimer *timer(StationTimer timer) const;
    QLineEdit *intervallLeftBox();
    void buildMenu();

    StationMessageBox m_boxes;
    std::unique_ptr<StationCore> m_core = std::make_unique<StationCore>(*this);
    WorkerLifecycle m_workers{*m_core};
    ViewerService m_viewer{*m_core};
    SensorControl m_sensor{*m_core, *this};
    Installation m_installation{*m_core, *this};
    StationStartup m_startup{*m_core, *this, m_workers, m_viewer, m_sensor, m_installation};
    SupervisionTick m_supervision{*m_core, *this, m_startup};
};

// Saves the configuration files with the port text of the window's port box
// Edit1 (SaveStationConfigFiles).
void SaveStationConfigFiles(TFR2U_Radadu &window);
