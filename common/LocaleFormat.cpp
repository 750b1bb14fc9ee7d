#include "common/LocaleFormat.h"

#include "common/Text8.h"

#include <mutex>
#include <optional>

namespace {

std::mutex g_mutex;
std::optional<QLocale> g_locale;

QString timeFormatWithSeconds(const QLocale &loc)
{
    // QLocale's long time format carries the zone name; the station's long
    // time is hours, minutes and seconds in the locale's own order.
    QString f = loc.timeFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1Char('s'))) {
        const qsizetype m = f.lastIndexOf(QLatin1String("mm"));
        if (m >= 0)
            f.insert(m + 2, QLatin1String(":ss"));
    }
    return f;
}

} // namespace

namespace LocaleFormat {

QLocale locale()
{
    std::lock_guard lock(g_mutex);
    return g_locale ? *g_locale : QLocale::system();
}

void setLocale(const QLocale &loc)
{
    std::lock_guard lock(g_mutex);
    g_locale = loc;
}

void resetLocale()
{
    std::lock_guard lock(g_mutex);
    g_locale.reset();
}

QByteArray shortDate(const QDate &date)
{
    return Text8::fromQString(locale().toString(date, QLocale::ShortFormat));
}

QByteArray longTime(const QTime &time)
{
    const QLocale loc = locale();
    return Text8::fromQString(loc.toString(time, timeFormatWithSeconds(loc)));
}

QByteArray dateTime(const QDateTime &dt)
{
    return shortDate(dt.date()) + ' ' + longTime(dt.time());
}

} // namespace LocaleFormat
