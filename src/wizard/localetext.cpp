#include "wizard/localetext.h"

#include <QRegularExpression>
#include <cfenv>
#include <cmath>
#include <limits>

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

std::optional<qint16> portNumberFromText(const QString &text, const QLocale &locale)
{
    const QString separator = QRegularExpression::escape(locale.decimalPoint());
    const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?)([0-9]*)(?:%1([0-9]*))?\\s*$").arg(separator));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QString whole = match.captured(2);
    const QString fraction = match.captured(3);
    if (whole.isEmpty() && fraction.isEmpty()) {
        return std::nullopt;
    }
    // Converted in the C locale so that digit grouping of the system locale
    // can never turn "2.5" into 25.
    bool ok = false;
    const double value = QStringLiteral("%1%2.%3")
                             .arg(match.captured(1), whole.isEmpty() ? QStringLiteral("0") : whole,
                                  fraction.isEmpty() ? QStringLiteral("0") : fraction)
                             .toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    const double rounded = roundHalfEven(value);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max()) {
        return std::nullopt;
    }
    return static_cast<qint16>(rounded);
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
