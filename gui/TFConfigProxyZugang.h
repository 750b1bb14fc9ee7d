#pragma once

#include "gui/StationMessageBox.h"
#include "reporting/ProxyDialogLogic.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct StationConfig;

// The proxy settings dialog FConfigProxyZugang: one instance from start-up
// to shut-down, shown modally from the configuration dialog and the main
// menu item Proxy1. Its controls carry their names as object names; every
// handler keeps its name and hands the work to ProxyDialogLogic. While the
// dialog is open the main window's supervision timer (MainTimer1) is off.
class TFConfigProxyZugang : public QDialog
{
    Q_OBJECT
public:
    // config: the station's live settings (proxy and server).
    explicit TFConfigProxyZugang(StationConfig &config, QWidget *parent = nullptr);

    ProxyDialogLogic &logic() { return m_logic; }

    // The main window's supervision timer; switched off while the dialog is open.
    QPointer<QTimer> MainTimer1;
    // Where the dialog's information boxes go (default: the real boxes).
    void setNotices(NoticeSink *notices) { m_notices = notices ? notices : &m_boxes; }
    // The system beep (failures of the connection test, the HTTP exchange).
    void setBeep(std::function<void()> beep) { m_logic.beep = std::move(beep); }

    void FormActivate();
    void FormClose();
    void FormDestroy();
    void Button1Click();
    void Button2Click();
    void ButtonProxyTestClick();
    void useproxyClick();
    void TBxPasswortChange();
    void TBxPasswortExit();
    void Timer1Timer();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *TBxProxyIP = nullptr;
    QLineEdit *TBxProxyPort = nullptr;
    QCheckBox *useproxy = nullptr;
    QLineEdit *TBxName = nullptr;
    QLineEdit *TBxPasswort = nullptr;
    QRadioButton *RBhttp = nullptr;
    QRadioButton *RBSocks = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *ButtonProxyTest = nullptr;
    QPushButton *Button2 = nullptr;
    QTimer *Timer1 = nullptr;

    ~TFConfigProxyZugang() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ProxyDialogFields fields() const;
    void setPasswordBox(const QByteArray &text);
    // The checks of "Speichern" and the test; false after their message.
    bool checked();
    // The save of "Speichern" and the test; false after its message when
    // the file could not be written (nothing changed, the dialog stays).
    bool saved(const ProxyDialogFields &fields);
    void mainTimer(bool on);

    ProxyDialogLogic m_logic;
    StationMessageBox m_boxes;
    NoticeSink *m_notices = &m_boxes;
};
