#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace brimo {

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

// The locale's long time format without the time zone.
QString longTimeFormat(const QLocale &locale = QLocale::system());

// A date and time in the system's general date format: the short date, a
// blank, the long time, with no time zone on any platform.
QString generalDateText(const QDateTime &when, const QLocale &locale = QLocale::system());

} // namespace brimo
