#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace brimo {

// What the utility accepts as an update image before it is kept, and why it
// refuses one. Each check returns one log line saying what is wrong, or the
// empty text when nothing is.

// One line of an image, its line end taken off: "S", a record type (0 to 3,
// 5 to 9), then hexadecimal digits in pairs, the first pair the count of the
// pairs after it, the last pair the checksum. Returns a few words ("has a
// wrong checksum") to follow the line's name.
QString recordProblem(QByteArrayView line);

// The identity tail from the "REGEND" header: 16 hexadecimal digits.
QString regEndProblem(const QByteArray &regEnd);

// A whole update image with its identity tail: the tail as above, every line a
// record as above ending in LF or CR LF (the last one may end the text
// instead), and the last line, and only that one, a termination record (S7,
// S8 or S9). A download cut short at a line boundary lacks the last.
QString imageProblem(const QByteArray &image, const QByteArray &regEnd);

} // namespace brimo
