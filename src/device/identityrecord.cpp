#include "device/identityrecord.h"

#include "image/imagecheck.h"

namespace brimo {

namespace {

// One's complement of the low byte of the sum of the bytes that the digit
// pairs stand for, as two upper-case digits.
QByteArray checksumDigits(const QByteArray &hexDigits)
{
    unsigned sum = 0;
    for (const char byte : QByteArray::fromHex(hexDigits))
        sum += static_cast<unsigned char>(byte);
    const auto checksum = static_cast<char>(0xFFu - (sum & 0xFFu));
    return QByteArray(1, checksum).toHex().toUpper();
}

} // namespace

QString identityProblem(const QByteArray &systemNumber, const QByteArray &regEnd)
{
    if (systemNumber.size() != kSystemNumberLength)
        return QStringLiteral("The system number \"%1\" is not 8 characters long")
            .arg(QString::fromLatin1(systemNumber));
    return regEndProblem(regEnd);
}

QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd)
{
    if (!identityProblem(systemNumber, regEnd).isEmpty())
        return {};
    const QByteArray start(kIdentityRecordStart);
    const QByteArray fields = start.mid(2) + systemNumber.toHex().toUpper() + regEnd;
    return start.left(2) + fields + checksumDigits(fields);
}

} // namespace brimo
