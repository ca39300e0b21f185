#include "session/localetext.h"

#include <cfenv>
#include <cmath>

namespace brimo {

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode; the program never changes
    // it from round-to-nearest-even, but say so rather than rely on it.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

QString longTimeFormat(const QLocale &locale)
{
    // Outside quoted text, "t" stands for the time zone: some platforms' long
    // time names it, others' does not, and the log never does.
    QString format;
    bool quoted = false;
    for (const QChar c : locale.timeFormat(QLocale::LongFormat)) {
        quoted ^= c == QLatin1Char('\'');
        if (quoted || c != QLatin1Char('t'))
            format += c;
    }
    return format.trimmed();
}

QString generalDateText(const QDateTime &when, const QLocale &locale)
{
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), longTimeFormat(locale));
}

} // namespace brimo
