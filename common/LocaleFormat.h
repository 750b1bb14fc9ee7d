#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>

// The "system default locale" of the station's texts: dates, times and the
// decimal separator of typed numbers. Production follows QLocale::system();
// tests install German or English settings.
namespace LocaleFormat {

QLocale locale();
void setLocale(const QLocale &locale);
void resetLocale();

// Short date format of the locale, e.g. "01.03.11" (German) or "3/1/11".
QByteArray shortDate(const QDate &date);
// Long time format of the locale with seconds, e.g. "08:30:00".
QByteArray longTime(const QTime &time);
// Short date, a blank, long time.
QByteArray dateTime(const QDateTime &dt);

} // namespace LocaleFormat
