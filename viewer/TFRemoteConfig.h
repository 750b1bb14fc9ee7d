#pragma once

#include "viewer/ViewerMessageBox.h"

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RemoteConfigHost;
struct RemoteStationState;

// Dialog for a new configuration of the connected station ("Sensor-Konfiguration",
// FRemoteConfig). The main window shows it modally, again while it returns with
// InputRejected set. It edits the main window's copy of the station's settings
// (RemoteStationConfig, under ConfigSection) and its four contact check boxes;
// after OK without a rejected value it asks the connection thread to send them.
//
// FormActivate runs each time the dialog is shown, FormDeactivate when it is
// hidden (OK, Abbruch, the close box); only after OK does it copy and request
// the send. A field's check runs when the field is left (focus moving to
// another control, not to a message box or another window).
class TFRemoteConfig : public QDialog
{
    Q_OBJECT
public:
    explicit TFRemoteConfig(RemoteConfigHost &host, QWidget *parent = nullptr);

    bool InputRejected() const { return m_inputRejected; }
    void clearInputRejected() { m_inputRejected = false; }
    // True while the dialog's contents are not confirmed with OK.
    bool ConfigUnconfirmed() const { return m_configUnconfirmed; }

    // The form's background and the identifier edit's backgrounds: writable
    // (caption text) and read-only (inactive caption text) in the classic
    // desktop colours; silver after the hand-entered identifier is switched off.
    static inline const QColor MoneyGreen{192, 220, 192};
    static inline const QColor CaptionText{255, 255, 255};
    static inline const QColor InactiveCaptionText{212, 208, 200};
    static inline const QColor Silver{192, 192, 192};

    // The four preset entries of the server combo box.
    static const QStringList &ServerPresets();

    // Message windows (the main window hooks its Timer1 restart in here).
    ViewerMessageBox &messages() { return m_messages; }

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormDeactivate();
    void EditTminExit();
    void EditTmaxExit();
    void EditTPminExit();
    void EditTPmaxExit();
    void EditT_TPminExit();
    void EditT_TPmaxExit();
    void EditRHminExit();
    void EditRHmaxExit();
    void EditAlarmintervallExit();
    void EditCPUMaxtempExit();
    void EditKennungExit();
    void EditHeronserverExit();
    void ModifyKennungClick();
    void Button1Click();
    void CancelButtonClick();

    // Controls the main window and its connection thread reach.
    QCheckBox *ModifyKennung = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct LimitField;
    static const LimitField kLimits[8];

    RemoteStationState &state();
    void limitExit(const LimitField &field);
    void rejectField(QLineEdit *edit, const QString &message);
    void colourIdentifier(const QColor &background);
    void fieldExit(QObject *control);

    RemoteConfigHost &m_host;
    ViewerMessageBox m_messages;
    bool m_inputRejected = false;
    bool m_configUnconfirmed = false;

    QLabel *Label1 = nullptr;
    QLineEdit *EditTmin = nullptr;
    QLineEdit *EditTmax = nullptr;
    QLineEdit *EditRHmin = nullptr;
    QLineEdit *EditRHmax = nullptr;
    QLineEdit *EditTPmin = nullptr;
    QLineEdit *EditTPmax = nullptr;
    QLineEdit *EditT_TPmin = nullptr;
    QLineEdit *EditT_TPmax = nullptr;
    QLineEdit *EditCPUMaxtemp = nullptr;
    QLineEdit *EditAlarmintervall = nullptr;
    QCheckBox *CheckRX = nullptr;
    QCheckBox *CheckRI = nullptr;
    QCheckBox *CheckDC = nullptr;
    QCheckBox *CheckCTS = nullptr;
    QLineEdit *EditKennung = nullptr;
    QComboBox *EditHeronserver = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *CancelButton = nullptr;
};
