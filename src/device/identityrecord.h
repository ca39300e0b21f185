#pragma once

#include "device/devicefacts.h"

#include <QByteArray>
#include <QString>

namespace brimo {

// Why a system number and an identity tail make no identity record, in one
// log line; the empty text when they do.
QString identityProblem(const QByteArray &systemNumber, const QByteArray &regEnd);

// Builds the identity record (kIdentityRecordStart) for an 8-character system
// number and a tail of 16 hexadecimal digits, taken unchanged. Empty when
// either does not fit.
QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd);

} // namespace brimo
