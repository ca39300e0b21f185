#pragma once

#include <QByteArray>
#include <QString>

namespace brimo {

// The S-record line that carries a device's identity in every update image:
// "S3", count "15", address "00080010", the 8 characters of the system number
// as hexadecimal codes, the 16 hexadecimal digits of the identity tail, and
// the checksum. 46 characters in all.
inline constexpr int kIdentityRecordLength = 46;
inline constexpr char kIdentityRecordStart[] = "S31500080010";

struct IdentityRewrite {
    QByteArray image; // the image with the device's identity in; empty on failure
    QString error;    // one log line saying why not; empty on success
};

// Builds the identity record for an 8-character system number and a tail of
// 16 hexadecimal digits, taken unchanged. Empty when either does not fit.
QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd);

// Replaces every copy of the image's identity record (the 46 characters from
// the first "S31500080010") by the device's own. Fails, saying why in one
// line, when the image has no such record or the identity does not fit it.
IdentityRewrite rewriteIdentity(const QByteArray &image, const QByteArray &systemNumber,
                                const QByteArray &regEnd);

} // namespace brimo
