#pragma once

#include "station/StationCore.h"
#include "station/StationView.h"

#include <QMainWindow>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
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
    void setValueColour(ValueDisplay field, const QColor &colour) override;
    void signalAlarmWindow(int intervalMs, bool focus) override;
    bool alarmSignalled() const override;

    // Window colour (normal: clActiveBorder; the alarm paths paint it red).
    void setWindowColour(const QColor &colour);
    QColor windowColour() const;

    // Timer handlers.
    void Timer2Timer();
    void Timer5Timer();

    QTimer *Timer2 = nullptr;
    QTimer *Timer5 = nullptr;

private:
    QLineEdit *valueEdit(ValueDisplay field) const;

    QPlainTextEdit *m_listbox = nullptr;
    QLabel *m_lastErrorLabel = nullptr;
    QLineEdit *m_editT = nullptr;
    QLineEdit *m_editTP = nullptr;
    QLineEdit *m_editT_TP = nullptr;
    QLineEdit *m_editRH = nullptr;
    QLineEdit *m_editCpuTemp = nullptr;
    std::unique_ptr<StationCore> m_core;
};
