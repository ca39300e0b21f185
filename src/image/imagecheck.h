#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace brimo {

// The record that carries a device's identity in every update image begins
// with these 12 characters ("S3", count "15", address "00080010") and has 46:
// the 16 bytes at 0x080010 to 0x08001F, the system number and the identity
// tail, then the checksum.
inline constexpr char kIdentityRecordStart[] = "S31500080010";
inline constexpr int kIdentityRecordLength = 46;

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
// S8 or S9). A download cut short at a line boundary lacks the last. Its
// identity area as below.
QString imageProblem(const QByteArray &image, const QByteArray &regEnd);

// The device's identity (0x080010 to 0x08001F) may be written by whole
// identity records only, all of them alike: each copy becomes the device's own
// record before the flash, and anything else would leave the device with
// another's identity. Lines that are no record are left to imageProblem().
QString identityAreaProblem(const QByteArray &image);

} // namespace brimo
