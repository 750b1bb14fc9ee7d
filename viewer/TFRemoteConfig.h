#pragma once

#include "viewer/RemoteConfigSettings.h"
#include "viewer/RemoteConfigView.h"
#include "viewer/ViewerMessageBox.h"

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
//
// The rules live in RemoteConfigSettings; the dialog is its view, and its
// handlers hand over to it.
class TFRemoteConfig : public QDialog, private RemoteConfigView
{
    Q_OBJECT
public:
    explicit TFRemoteConfig(RemoteConfigHost &host, QWidget *parent = nullptr);

    bool InputRejected() const { return m_settings.InputRejected(); }
    void clearInputRejected() { m_settings.clearInputRejected(); }
    // True while the dialog's contents are not confirmed with OK.
    bool ConfigUnconfirmed() const { return m_settings.ConfigUnconfirmed(); }

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
    // RemoteConfigView
    QString fieldText(RemoteConfigField field) const override;
    void setFieldText(RemoteConfigField field, const QString &text) override;
    void clearField(RemoteConfigField field) override;
    void focusField(RemoteConfigField field) override;
    void showMessage(const QString &text) override;
    ContactChecks dialogChecks() const override;
    void setDialogChecks(const ContactChecks &checks) override;
    bool modifyKennung() const override;
    void setModifyKennung(bool checked) override;
    void setIdentifierReadOnly(bool readOnly) override;
    void colourIdentifier(IdentifierColour colour) override;

    // The edit of a field (nullptr for the server box).
    QLineEdit *editOf(RemoteConfigField field) const;
    QWidget *controlOf(RemoteConfigField field) const;
    void setIdentifierBackground(const QColor &background);
    void fieldExit(QObject *control);

    ViewerMessageBox m_messages;
    RemoteConfigSettings m_settings;

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
