#pragma once

#include "common/Clock.h"
#include "common/GuiHandover.h"
#include "viewer/MyClientConnectThread.h"
#include "viewer/RemoteStationState.h"
#include "viewer/ViewerView.h"

#include <QMainWindow>

#include <atomic>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class Shell;
class TForm1;
class TFRemoteConfig;

// Fernblick's main window ("ZAV-Sensorfernsteuerung"): connects to one
// station's viewer port, shows what its connection thread hands over, keeps
// the viewer's copy of the station's settings and opens the remote
// configuration dialog and the connection-test form.
class TFI2C_RevuzaDareza : public QMainWindow, public RemoteConfigHost, public ViewerView
{
    Q_OBJECT
public:
    explicit TFI2C_RevuzaDareza(Clock &clock = Clock::system(), Shell *shell = nullptr,
                                viewer::ConnectionTimings timings = {}, QWidget *parent = nullptr);
    ~TFI2C_RevuzaDareza() override;

    // The two forms created after the window at program start.
    void setForms(TFRemoteConfig *remoteConfig, TForm1 *form1);

    // RemoteConfigHost
    RemoteStationState &remoteState() override { return m_state; }
    ContactChecks contactChecks() const override;
    void setContactChecks(const ContactChecks &checks) override;

    // Handlers under their names.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Label2DblClick();
    void Timer1Timer();
    void AppendStatusLine();
    // The first open message window of this program with that title.
    QWidget *FindOwnDialogWindow(const QString &title) const;

    // Program-wide values of the window.
    QByteArray StatusText;
    int StatusLineCount = 0;
    std::atomic<bool> ConnectionLost{false};

    // The thread of the latest connect while it runs (null once released)
    // and how many connection threads are alive.
    viewer::MyClientConnectThread *ConnectionThread = nullptr;
    int liveThreads() const { return int(m_threads.size()); }
    // Port of the next connection (2002 until a connect names another).
    quint16 port() const { return m_port; }

    // ViewerView (GUI thread)
    void appendStatus(const QByteArray &line) override;
    void setLastMeasurement(const QByteArray &caption) override;
    void showValue(Value box, const QByteArray &text, ColourState colour) override;
    void clearValues() override;
    void showCpu(const QByteArray &text, bool red, bool notANumber) override;
    void setJunction(const QByteArray &caption) override;
    void setLimitLabel(Limit label, const QByteArray &caption) override;
    void setContact(Contact box, bool checked) override;
    bool contact(Contact box) const override;
    void setInputColour(int input, const QColor &colour) override;
    void setKennung(const QByteArray &caption) override;
    void setLastError(const QByteArray &caption, bool red) override;
    void setModifyKennung(bool checked) override;
    bool modifyKennung() const override;
    void showSocketError(const QString &message) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormDestroy();
    void buildControls();
    void showNotConnected();
    // Restarts Timer1 (off, 50 ms, on) before a message is shown.
    void restartTimer1();
    void releaseThread(viewer::MyClientConnectThread *thread);
    QCheckBox *contactBox(Contact box) const;
    QCheckBox *modifyKennungBox() const;

    Clock &m_clock;
    Shell *m_shell;
    std::unique_ptr<Shell> m_ownShell;
    viewer::ConnectionTimings m_timings;
    RemoteStationState m_state;
    GuiHandover m_handover;
    std::atomic<quint64> m_currentConnection{0};
    quint64 m_connections = 0;
    quint16 m_port = 2002;
    std::vector<std::unique_ptr<viewer::MyClientConnectThread>> m_threads;
    TFRemoteConfig *m_remoteConfig = nullptr;
    TForm1 *m_form1 = nullptr;

    QLineEdit *EditT = nullptr;
    QLineEdit *EditRH = nullptr;
    QLineEdit *EditTP = nullptr;
    QLineEdit *EditT_TP = nullptr;
    QLineEdit *EditCPUTEMP = nullptr;
    QLabel *LabelTempMinMax = nullptr;
    QLabel *LabelRHMinMax = nullptr;
    QLabel *LabelTPMinMax = nullptr;
    QLabel *LabelT_TPMinMax = nullptr;
    QLabel *LabelTjunction = nullptr;
    QCheckBox *RIStat = nullptr;
    QCheckBox *DCStat = nullptr;
    QCheckBox *CheckRI = nullptr;
    QCheckBox *CheckDC = nullptr;
    QCheckBox *CheckRX = nullptr;
    QCheckBox *CheckCTS = nullptr;
    QLabel *LabelLastConnection = nullptr;
    QLabel *LastError = nullptr;
    QLabel *LabelKennung = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *VersionsLabel = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *EditServer = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QPlainTextEdit *Listbox = nullptr;
    QTimer *Timer1 = nullptr;
};
