#include "common/ValueFormat.h"

#include "common/LocaleFormat.h"
#include "common/Text8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSignificantDigits = 6;
constexpr int kDecimals = 2;

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

namespace ValueFormat {

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

} // namespace ValueFormat
