#include "device/identityrecord.h"

#include "image/imagecheck.h"

#include <QByteArrayMatcher>

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

QString identityProblem(const QByteArray &systemNumber, const QByteArray &regEnd)
{
    if (systemNumber.size() != kSystemNumberLength)
        return QStringLiteral("The system number \"%1\" is not 8 characters long")
            .arg(QString::fromLatin1(systemNumber));
    return regEndProblem(regEnd);
}

// The image's record is replaced only when it is whole: a well-formed record
// of its 46 characters, its line ending right after them. Anything else would
// leave a damaged line in the work file.
QString recordShapeProblem(const QByteArray &image, qsizetype at)
{
    qsizetype end = at;
    while (end < image.size() && image.at(end) != '\r' && image.at(end) != '\n')
        ++end;
    if (end - at != kIdentityRecordLength)
        return QStringLiteral("The update's identity record is %1 characters long, not %2")
            .arg(end - at)
            .arg(kIdentityRecordLength);
    const QString why = recordProblem(QByteArrayView(image).sliced(at, end - at));
    return why.isEmpty() ? why : QStringLiteral("The update's identity record ") + why;
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
    QString problem = recordShapeProblem(image, at);
    if (problem.isEmpty())
        problem = identityAreaProblem(image);
    if (problem.isEmpty())
        problem = identityProblem(systemNumber, regEnd);
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

} // namespace brimo
