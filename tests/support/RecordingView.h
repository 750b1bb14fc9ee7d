#pragma once

#include "station/StationView.h"

#include <QByteArray>
#include <QColor>
#include <QList>

#include <map>
#include <stdexcept>

// A StationView that records what the station shows, for tests without a
// window. Lines of the activity list are kept as the list would hold them.
class RecordingView : public StationView
{
public:
    bool addStatusListLine(const QByteArray &text) override
    {
        ++addCalls;
        if (throwAdds > 0) {
            --throwAdds;
            throw std::runtime_error("activity list broke");
        }
        if (failAdds > 0) {
            --failAdds;
            return false;
        }
        lines.append(text);
        return true;
    }
    void clearStatusList() override
    {
        ++clearCount;
        lines.clear();
    }
    void setLastError(const QByteArray &text, const QColor &colour) override
    {
        lastErrorText = text;
        lastErrorColour = colour;
        ++lastErrorSets;
    }
    void setLastErrorColour(const QColor &colour) override { lastErrorColour = colour; }
    void setValueText(ValueDisplay field, const QByteArray &text) override { texts[field] = text; }
    void setValueColour(ValueDisplay field, const QColor &colour) override { colours[field] = colour; }
    void setValueBackground(ValueDisplay field, const QColor &colour) override
    {
        backgrounds[field] = colour;
    }
    void setLastConnectionText(const QByteArray &text) override { lastConnection = text; }
    void setContactStatus(int input, bool checked, const QColor &colour) override
    {
        contactChecked[input] = checked;
        contactColour[input] = colour;
    }
    void signalAlarmWindow(int intervalMs, bool focus) override
    {
        signals_.append({intervalMs, focus});
        timer5 = true;
    }
    bool alarmSignalled() const override { return timer5; }
    void restoreWindowAfterReport() override
    {
        ++windowRestores;
        timer5 = false;
    }
    void setIntervallLeft(const QByteArray &text) override { intervallLeft.append(text); }
    void setReportCommandsEnabled(bool enabled) override { reportCommandsEnabled.append(enabled); }
    void setLimitText(LimitLabel label, const QByteArray &text) override { limitTexts[label] = text; }
    void setContactWatch(bool input1, bool input2) override { contactWatch = {input1, input2}; }
    void Timer1Status(bool on) override { timer1Changes.append(on ? 1 : 0); }
    void rearmTimer1(int ms) override { timer1Changes.append(-ms); }

    struct Signal
    {
        int intervalMs;
        bool focus;
    };

    QList<QByteArray> lines;
    int addCalls = 0;
    int failAdds = 0;  // the next n adds fail
    int throwAdds = 0; // the next n adds throw
    int clearCount = 0;
    QByteArray lastErrorText;
    QColor lastErrorColour;
    int lastErrorSets = 0;
    std::map<ValueDisplay, QByteArray> texts;
    std::map<ValueDisplay, QColor> colours;
    std::map<ValueDisplay, QColor> backgrounds;
    QByteArray lastConnection;
    std::map<int, bool> contactChecked;
    std::map<int, QColor> contactColour;
    QList<Signal> signals_;
    bool timer5 = false;
    int windowRestores = 0;
    QList<QByteArray> intervallLeft;   // every text IntervallLeft was given
    QList<bool> reportCommandsEnabled; // every change of Button3, Konfiguration1, Proxy1
    std::map<LimitLabel, QByteArray> limitTexts;
    std::pair<bool, bool> contactWatch{false, false};
    QList<int> timer1Changes; // 1 on, 0 off, -ms re-armed with that interval
};
