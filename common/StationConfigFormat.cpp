#include "common/StationConfigFormat.h"

#include "common/LocaleFormat.h"
#include "common/Text8.h"

#include <QIODevice>

#include <cmath>
#include <limits>

namespace ConfigFormat {

QByteArray joinLines(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines) {
        out += line;
        out += LineEnd;
    }
    return out;
}

bool fitsOneLine(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

std::optional<QByteArray> LineReader::next()
{
    if (m_device.atEnd())
        return QByteArray();
    QByteArray line = m_device.readLine();
    if (line.isEmpty() && !m_device.atEnd())
        return std::nullopt;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<qint32> toInteger(const QByteArray &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return static_cast<qint32>(value);
}

std::optional<bool> toBoolean(const QByteArray &text)
{
    const QByteArray upper = text.toUpper();
    if (upper == "TRUE")
        return true;
    if (upper == "FALSE")
        return false;
    if (const auto number = toInteger(text))
        return *number != 0;
    return std::nullopt;
}

QByteArray booleanText(bool value)
{
    return value ? QByteArrayLiteral("TRUE") : QByteArrayLiteral("FALSE");
}

std::optional<double> toThreshold(const QByteArray &text)
{
    const QByteArray trimmed = Text8::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    QLocale loc = LocaleFormat::locale();
    loc.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = loc.toDouble(Text8::toQString(trimmed), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace ConfigFormat
