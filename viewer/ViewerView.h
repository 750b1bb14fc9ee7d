#pragma once

#include "common/DisplayColours.h"
#include "viewer/RemoteStationState.h"

#include <QByteArray>
#include <QString>

// What the connection thread shows in and reads from the main window. Called
// on the GUI thread only: the thread hands each call over and waits for it.
class ViewerView
{
public:
    enum class Value { T, RH, TP, T_TP };
    enum class Limit { Temp, RH, TP, T_TP };
    // RIStat / DCStat: state of input 1 / 2; CheckRI / CheckDC: input watched.
    enum class Contact { RIStat, CheckRI, CheckDC, DCStat };

    virtual ~ViewerView() = default;

    // StatusText := line, then AppendStatusLine.
    virtual void appendStatus(const QByteArray &line) = 0;
    virtual void setLastMeasurement(const QByteArray &caption) = 0;
    virtual void showValue(Value box, const QByteArray &text, ColourState colour) = 0;
    virtual void clearValues() = 0;
    // The CPU text with a green or red font; `notANumber` turns the box's
    // background silver and its font black.
    virtual void showCpu(const QByteArray &text, bool red, bool notANumber) = 0;
    virtual void setJunction(const QByteArray &caption) = 0;
    virtual void setLimitLabel(Limit label, const QByteArray &caption) = 0;
    virtual void setContact(Contact box, bool checked) = 0;
    virtual bool contact(Contact box) const = 0;
    // Background of RIStat (input 1) or DCStat (input 2).
    virtual void setInputColour(int input, const QColor &colour) = 0;
    virtual void setKennung(const QByteArray &caption) = 0;
    virtual void setLastError(const QByteArray &caption, bool red) = 0;
    // The remote configuration dialog's ModifyKennung box.
    virtual void setModifyKennung(bool checked) = 0;
    virtual bool modifyKennung() const = 0;
    virtual ContactChecks contactChecks() const = 0;
    // The socket layer's report of an error; shown without waiting for it.
    virtual void showSocketError(const QString &message) = 0;
};
