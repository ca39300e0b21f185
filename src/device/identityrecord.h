#pragma once

#include <QByteArray>
#include <QString>

namespace brimo {

// The identity record (kIdentityRecordStart) holds the 8 characters of the
// system number as hexadecimal codes, then the 16 hexadecimal digits of the
// identity tail.
// A system number is 8 characters: the device's bytes at 0x080010 to 0x080017.
inline constexpr int kSystemNumberLength = 8;

// Why a system number and an identity tail make no identity record, in one
// log line; the empty text when they do.
QString identityProblem(const QByteArray &systemNumber, const QByteArray &regEnd);

// Builds the identity record for an 8-character system number and a tail of
// 16 hexadecimal digits, taken unchanged. Empty when either does not fit.
QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd);

} // namespace brimo
