#pragma once

#include "station/ConfigDialogView.h"
#include "station/ConfigSettings.h"

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TFR2U_Radadu;

// The configuration dialog "Sensor-Konfiguration" (FConfig): one instance,
// created right after the main window, living until the program ends. Its
// controls carry their names as object names; every handler keeps its name
// and hands the work to ConfigSettings, for which the dialog is the view.
//
// Handlers take the object that triggered them as `Sender`: the control the
// operator left, the dialog when it closes; nullptr on the remote path.
// FormActivate runs each time the dialog is shown, FormDeactivate when it is
// hidden (OK, Abbrechen, the close box); the save runs only after OK.
class TFConfig : public QDialog, public ConfigDialogView
{
    Q_OBJECT
public:
    explicit TFConfig(TFR2U_Radadu &mainWindow, QWidget *parent = nullptr);
    ~TFConfig() override;

    ConfigSettings &settings() { return m_settings; }

    // The form's background, money green, and the identifier edit's
    // backgrounds: writable (caption text) and read-only (inactive caption
    // text) in the classic desktop colours.
    static inline const QColor MoneyGreen{192, 220, 192};
    static inline const QColor CaptionText{255, 255, 255};
    static inline const QColor InactiveCaptionText{212, 208, 200};

    // Field handlers.
    void EditTminExit(QObject *Sender);
    void EditTmaxExit(QObject *Sender);
    void EditTPminExit(QObject *Sender);
    void EditTPmaxExit(QObject *Sender);
    void EditT_TPminExit(QObject *Sender);
    void EditT_TPmaxExit(QObject *Sender);
    void EditRHminExit(QObject *Sender);
    void EditRHmaxExit(QObject *Sender);
    void EditKennungExit(QObject *Sender);
    void EditHeronserverExit(QObject *Sender);
    void EditAlarmintervallExit(QObject *Sender);
    void EditCPUMAXTempExit(QObject *Sender);

    void FormCreate();
    void FormActivate();
    void FormDeactivate(QObject *Sender);
    void Button1Click();
    void CancelButtonClick();
    void Button2Click();
    void CheckBox1Click();
    void ComSelectComboBox1Change();
    void ComSelectComboBox1Enter();
    void ComSelectComboBox1Exit();
    void Timer1Timer();

    // The remote configuration's setters, in the order of the viewer's
    // configuration message, each with the value the connection read for
    // its item, and the apply after the seventeenth (handed over by a viewer
    // connection thread that holds SharedDataSemaphore).
    void RemoteSetTmin(const QByteArray &value);
    void RemoteSetTmax(const QByteArray &value);
    void RemoteSetTPmin(const QByteArray &value);
    void RemoteSetTPmax(const QByteArray &value);
    void RemoteSetT_TPmin(const QByteArray &value);
    void RemoteSetT_TPmax(const QByteArray &value);
    void RemoteSetRHmin(const QByteArray &value);
    void RemoteSetRHmax(const QByteArray &value);
    void RemoteSetRx(const QByteArray &value);
    void RemoteSetRI(const QByteArray &value);
    void RemoteSetDC(const QByteArray &value);
    void RemoteSetCts(const QByteArray &value);
    void RemoteSetKennung(const QByteArray &value);
    void RemoteSetHeronserver(const QByteArray &value);
    void RemoteSetComPort(const QByteArray &value);
    void RemoteSetAlarmintervall(const QByteArray &value);
    void RemoteSetCPUMAXTemp(const QByteArray &value);
    void RemoteApply();

    // The proxy dialog that Button2 shows (set by the program body).
    QDialog *FConfigProxyZugang = nullptr;

    QLabel *Label1 = nullptr;
    QLineEdit *EditTmin = nullptr;
    QLineEdit *EditTmax = nullptr;
    QLineEdit *EditRHmin = nullptr;
    QLineEdit *EditRHmax = nullptr;
    QLineEdit *EditTPmin = nullptr;
    QLineEdit *EditTPmax = nullptr;
    QLineEdit *EditT_TPmin = nullptr;
    QLineEdit *EditT_TPmax = nullptr;
    QCheckBox *CheckRI = nullptr;
    QCheckBox *CheckDC = nullptr;
    QCheckBox *CheckRx = nullptr;  // hidden
    QCheckBox *CheckCts = nullptr; // hidden
    QLineEdit *EditCPUMAXTemp = nullptr;
    QComboBox *ComSelectComboBox1 = nullptr;
    QLineEdit *EditAlarmintervall = nullptr;
    QLineEdit *EditKennung = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QComboBox *EditHeronserver = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *CancelButton = nullptr;
    QTimer *Timer1 = nullptr;

    // ConfigDialogView
    QByteArray fieldText(ConfigField field) const override;
    void setFieldText(ConfigField field, const QByteArray &text) override;
    void focusField(ConfigField field) override;
    bool flag(ConfigFlag flag) const override;
    void setFlag(ConfigFlag flag, bool checked) override;
    void setIdentifierWritable(bool writable) override;
    void setServerPresets(const QList<QByteArray> &entries) override;
    void markConfigDialogWindow() override;
    void acknowledge() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *fieldWidget(ConfigField field) const;
    QCheckBox *flagBox(ConfigFlag flag) const;
    void fieldExit(QObject *control);

    TFR2U_Radadu &m_main;
    ConfigSettings m_settings;
};
