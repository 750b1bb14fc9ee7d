#include "station/MeasureRecords.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/EvaluationTexts.h"
#include "station/StationCore.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSignificantDigits = 6;
constexpr int kDecimals = 2;

QByteArray normalisedId(const QByteArray &stationId)
{
    QByteArray id = stationId.left(7);
    while (id.size() < 7)
        id.append('-');
    return id;
}

// Six significant digits, trailing zeros dropped, exponent without padding:
// 1234567 -> "1.23457E6", 1.5e-20 -> "1.5E-20".
QByteArray scientific(double value, char sep)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", kSignificantDigits - 1, value);
    QByteArray s(buf);
    const qsizetype e = s.indexOf('E');
    QByteArray mantissa = s.left(e);
    const int exponent = std::atoi(s.constData() + e + 1);
    if (mantissa.contains('.')) {
        while (mantissa.endsWith('0'))
            mantissa.chop(1);
        if (mantissa.endsWith('.'))
            mantissa.chop(1);
    }
    mantissa.replace('.', sep);
    return mantissa + 'E' + QByteArray::number(exponent);
}

} // namespace

namespace MeasureRecords {

QByteArray formatFixed2(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";

    // Digits before the point once the value is rounded to six significant
    // digits (9999.996 rounds to 10000.0 and so has five).
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, value);
    const char *e = std::strchr(buf, 'e');
    const int intDigits = value == 0.0 ? 1 : std::atoi(e + 1) + 1;
    if (intDigits > kSignificantDigits)
        return scientific(value, decimalSeparator);

    const int decimals = std::min(kDecimals, kSignificantDigits - std::max(intDigits, 0));
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    QByteArray s(buf);
    if (decimals < kDecimals) {
        if (decimals == 0)
            s.append('.');
        s.append(QByteArray(kDecimals - decimals, '0'));
    }
    // A value that rounds to zero is written without a sign.
    if (s == "-0.00")
        s.remove(0, 1);
    s.replace('.', decimalSeparator);
    return s;
}

char localeDecimalSeparator()
{
    const QByteArray sep = Text8::fromQString(LocaleFormat::locale().decimalPoint());
    return sep.isEmpty() ? '.' : sep.at(0);
}

QByteArray fileName(const QByteArray &stationId, const QDateTime &local)
{
    QByteArray name = normalisedId(stationId) + "_._MS";
    const int weekday = local.date().dayOfWeek() % 7; // 0 = Sunday .. 6 = Saturday
    const int hour = local.time().hour();
    name[7] = static_cast<char>('0' + weekday);
    name[9] = static_cast<char>(hour < 10 ? '0' + hour : 'A' + (hour - 10));
    return name;
}

QByteArray timestamp(const QDateTime &local)
{
    static const QDate epoch(1970, 1, 1);
    const qint64 days = epoch.daysTo(local.date());
    const QTime t = local.time();
    const qint64 seconds = days * 86400 + t.hour() * 3600 + t.minute() * 60 + t.second();
    return QByteArray::number(static_cast<quint32>(seconds), 16).toUpper().rightJustified(8, '0');
}

char recordState(int channel, double value, ColourState colour)
{
    if (channel == 1 && (value >= PlausibleMax || value < PlausibleMin))
        return 'p';
    return colour == ColourState::Green ? 'g' : 'r';
}

QByteArray recordLine(const QByteArray &stationId, int channel, double value,
                      const QByteArray &unit, ColourState colour, const QDateTime &local)
{
    QByteArray line;
    line += '$';
    line += timestamp(local);
    line += "01";
    line += static_cast<char>('0' + channel);
    line += '.';
    line += recordState(channel, value, colour);
    line += formatFixed2(value, '.');
    line += ';';
    line += unit;
    line += ";;2";
    line += '1';
    line += ';';
    line += stationId;
    line += "\r\n";
    return line;
}

} // namespace MeasureRecords

QByteArray MeasureFileName(const QByteArray &stationId, const Clock &clock)
{
    return MeasureRecords::fileName(stationId, clock.localDateTime());
}

void WriteMeasureRecord(StationCore &core, int channel, double value, const QByteArray &unit,
                        ColourState colour)
{
    const QByteArray stationId = core.config.StationId;
    QFile file(Text8::toQString(MeasureFileName(stationId, core.clock())));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    try {
        // Date and time of day are read together, so a write at midnight never
        // pairs the old date with the new time.
        const QByteArray line =
            MeasureRecords::recordLine(stationId, channel, value, unit, colour, core.clock().localDateTime());
        file.write(line);
        file.flush();
    } catch (...) {
        file.close();
        core.handover.postToGui([&core] { core.notify(Text8::cp(EvaluationTexts::RecordFailure)); });
        return;
    }
    file.close();
}

void RecordTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (enabled)
        m_startTick = m_clock.tickCount();
}

quint32 RecordTimer::elapsed() const
{
    return m_clock.tickCount() - m_startTick;
}

bool RecordTimer::poll()
{
    if (!m_enabled || m_intervalMs <= 0)
        return false;
    const quint32 passed = elapsed();
    const auto interval = static_cast<quint32>(m_intervalMs);
    if (passed < interval)
        return false;
    m_startTick += passed - passed % interval;
    return true;
}
