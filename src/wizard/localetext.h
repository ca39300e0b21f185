#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace brimo {

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

// The port number that a stored "COMPort" text stands for: an optionally
// signed decimal number, blanks around it allowed, with the locale's decimal
// separator before an optional fraction, rounded halves to even. Anything
// else, and a number outside 16 bits, gives no port.
std::optional<qint16> portNumberFromText(const QString &text,
                                         const QLocale &locale = QLocale::system());

// The locale's long time format without the time zone.
QString longTimeFormat(const QLocale &locale = QLocale::system());

// A date and time in the system's general date format: the short date, a
// blank, the long time, with no time zone on any platform.
QString generalDateText(const QDateTime &when, const QLocale &locale = QLocale::system());

} // namespace brimo
