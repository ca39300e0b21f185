#include "device/identityrecord.h"

#include <QByteArrayMatcher>

namespace brimo {

namespace {

constexpr int kSystemNumberLength = 8;
constexpr int kRegEndLength = 16;

bool isHexDigits(const QByteArray &text)
{
    for (const char c : text) {
        const bool digit =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!digit)
            return false;
    }
    return true;
}

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

QString identityProblem(const QByteArray &systemNumber, const QByteArray &regEnd)
{
    if (systemNumber.size() != kSystemNumberLength)
        return QStringLiteral("The system number \"%1\" is not 8 characters long")
            .arg(QString::fromLatin1(systemNumber));
    if (regEnd.isEmpty())
        return QStringLiteral("The update came without its identity tail (REGEND)");
    if (regEnd.size() != kRegEndLength || !isHexDigits(regEnd))
        return QStringLiteral("The identity tail \"%1\" is not 16 hexadecimal digits")
            .arg(QString::fromLatin1(regEnd));
    return {};
}

} // namespace

QByteArray identityRecord(const QByteArray &systemNumber, const QByteArray &regEnd)
{
    if (!identityProblem(systemNumber, regEnd).isEmpty())
        return {};
    const QByteArray start(kIdentityRecordStart);
    const QByteArray fields = start.mid(2) + systemNumber.toHex().toUpper() + regEnd;
    return start.left(2) + fields + checksumDigits(fields);
}

IdentityRewrite rewriteIdentity(const QByteArray &image, const QByteArray &systemNumber,
                                const QByteArray &regEnd)
{
    const qsizetype at = image.indexOf(kIdentityRecordStart);
    if (at < 0)
        return {{}, {}, QStringLiteral("The update holds no identity record")};
    const QString problem = identityProblem(systemNumber, regEnd);
    if (!problem.isEmpty())
        return {{}, {}, problem};
    return {image.mid(at, kIdentityRecordLength), identityRecord(systemNumber, regEnd), {}};
}

bool writeRewritten(const QByteArray &image, const IdentityRewrite &rewrite, const SliceSink &sink)
{
    if (rewrite.oldRecord.isEmpty())
        return false;
    const QByteArrayMatcher matcher(rewrite.oldRecord);
    qsizetype from = 0;
    for (qsizetype hit = matcher.indexIn(image, from); hit >= 0;
         hit = matcher.indexIn(image, from)) {
        if (!sink(image.constData() + from, hit - from) ||
            !sink(rewrite.newRecord.constData(), rewrite.newRecord.size()))
            return false;
        from = hit + rewrite.oldRecord.size();
    }
    return sink(image.constData() + from, image.size() - from);
}

QByteArray rewrittenImage(const QByteArray &image, const IdentityRewrite &rewrite)
{
    QByteArray out;
    out.reserve(image.size());
    const bool written = writeRewritten(image, rewrite, [&out](const char *data, qsizetype size) {
        out.append(data, size);
        return true;
    });
    return written ? out : QByteArray();
}

} // namespace brimo
