#pragma once

// Small helpers shared by the reporting thread's source files; not part of
// the layer's interface.

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "reporting/TransferBound.h"
#include "station/LogFile.h"
#include "station/StationCore.h"

#include <QByteArray>
#include <QDir>
#include <QString>

namespace ReportingHelpers {

// A code-page text constant as bytes.
inline QByteArray cp(const char *text)
{
    return Text8::cp(text);
}

// The clock's local date and time as the status and log lines show it.
inline QByteArray now(const Clock &clock)
{
    return LocaleFormat::dateTime(clock.localDateTime());
}

inline void sleepMs(Clock &clock, int ms)
{
    clock.sleep(ms);
}

// Shows a step marker (a code-page text constant) in the main window.
inline void showMarker(StationCore &core, const char *text)
{
    const QByteArray bytes = cp(text);
    core.onGui([bytes](StationView &v) { v.setIntervallLeft(bytes); });
}

// Why a transfer was cut, in the activity list and in the log.
inline void showCut(StationCore &core, const TCPUtils::TransferCut &cut)
{
    const QByteArray text = cut.text();
    core.appendStatusLineLocked(text);
    WriteLogLine(core, text);
}

// A code-page file name constant as a file name.
inline QString name(const char *text)
{
    return Text8::toQString(cp(text));
}

// The current directory as the scripts and texts name it.
inline QByteArray currentDirectory()
{
    return Text8::fromQString(QDir::toNativeSeparators(QDir::currentPath()));
}

// A decimal integer as the settings hold it: leading blanks, an optional
// sign, digits, nothing after them.
inline bool toInteger(const QByteArray &text, qint64 &value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > 0x7FFFFFFF)
            return false;
    }
    value = negative ? -v : v;
    return true;
}

} // namespace ReportingHelpers
