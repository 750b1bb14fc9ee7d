#pragma once

#include <QByteArray>

// Numbers as both programs show them.
namespace ValueFormat {

// A value with two decimals: fixed point with six significant digits at most,
// padded to two decimals, with the given decimal separator (scientific form
// once the value has more than six digits before the point).
QByteArray formatFixed2(double value, char decimalSeparator);

// The decimal separator of the locale (LocaleFormat) as one code-page byte.
char localeDecimalSeparator();

} // namespace ValueFormat
