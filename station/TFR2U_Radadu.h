#pragma once

#include "station/StationCore.h"
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
class QTimer;

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

    // Window colour (normal: clActiveBorder; the alarm paths paint it red).
    void setWindowColour(const QColor &colour);
    QColor windowColour() const;

    // Sensor start and stop (TFR2U_Radadu_Sensor.cpp).
    void Button1Click();
    void Button1Interactive();
    // Fills Edit1 with the COM ports of the FTDI adapters (TFR2U_Radadu_Ports.cpp).
    void EnumCOMPorts();

    // Timer handlers.
    void Timer2Timer();
    void Timer5Timer();

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
    QTimer *Timer2 = nullptr;
    QTimer *Timer5 = nullptr;

private:
    QLineEdit *valueEdit(ValueDisplay field) const;

    std::unique_ptr<StationCore> m_core;
};
