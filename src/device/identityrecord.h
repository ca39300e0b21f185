#pragma once

#include "image/imagecheck.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace brimo {

// The identity record (kIdentityRecordStart) holds the 8 characters of the
// system number as hexadecimal codes, then the 16 hexadecimal digits of the
// identity tail.
// A system number is 8 characters: the device's bytes at 0x080010 to 0x080017.
inline constexpr int kSystemNumberLength = 8;

// How an image gets the device's identity: every copy of the record it was
// served with becomes the device's own.
struct IdentityRewrite {
    QByteArray oldRecord; // the image's record, as first found; empty on failure
    QByteArray newRecord; // the device's record that replaces each copy of it
    QString error;        // one log line saying why not; empty on success
};

// Takes the image a slice at a time; false stops the writing.
using SliceSink = std::function<bool(const char *data, qsizetype size)>;

// Builds the identity record for an 8-character system number and a tail of
// 16 hexadecimal digits, taken unchanged. Empty when either does not fit.
QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd);

// Finds the image's identity record (the 46 characters from the first
// "S31500080010", the whole of their line) and builds the device's own to
// replace it. Fails, saying why in one line, when the image has no such
// record, the record is not whole and well-formed, anything else writes to
// the identity's addresses or the image's identity records differ
// (identityAreaProblem()), or the identity does not fit the record.
IdentityRewrite rewriteIdentity(const QByteArray &image, const QByteArray &systemNumber,
                                const QByteArray &regEnd);

// Hands the image to the sink with every copy of the old record, counted from
// the start without overlaps, replaced by the new one. The image itself is
// never copied. False when the rewrite failed or the sink refused a slice.
bool writeRewritten(const QByteArray &image, const IdentityRewrite &rewrite, const SliceSink &sink);

} // namespace brimo
