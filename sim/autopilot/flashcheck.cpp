#include "flashcheck.h"

#include "common/srec.h"

#include <cctype>

namespace brimo::sim {
namespace {

constexpr int kMaxProblems = 5;

QString hexAddress(qint64 address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

bool isHex(const QByteArray &text)
{
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// The first address at which `flash` differs from `expected` placed at `address`.
QString difference(const QByteArray &flash, quint32 address, const QByteArray &expected)
{
    const qint64 end = qint64(address) + expected.size();
    if (end > flash.size())
        return QStringLiteral("record at %1 lies beyond the flash (%2 bytes)")
            .arg(hexAddress(address))
            .arg(flash.size());
    for (int i = 0; i < expected.size(); ++i) {
        const char held = flash.at(qsizetype(address) + i);
        if (held != expected.at(i))
            return QStringLiteral("flash at %1 holds %2, the image has %3")
                .arg(hexAddress(qint64(address) + i))
                .arg(QByteArray(1, held).toHex(), QByteArray(1, expected.at(i)).toHex());
    }
    return {};
}

} // namespace

FlashCheck checkFlash(const QByteArray &flash, const QByteArray &image,
                      const QByteArray &systemNumber, const QByteArray &regend)
{
    FlashCheck check;
    if (systemNumber.size() != 8 || regend.size() != 16 || !isHex(regend)) {
        check.problems << QStringLiteral("no identity to compare with: system number '%1', "
                                         "REGEND '%2'")
                              .arg(QString::fromLatin1(systemNumber), QString::fromLatin1(regend));
        return check;
    }
    const QByteArray identity = systemNumber + QByteArray::fromHex(regend);
    bool identitySeen = false;
    int lineNumber = 0;
    for (QByteArray line : image.split('\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        SRecord record;
        QString why;
        if (!parseSRecord(line, &record, &why)) {
            check.problems << QStringLiteral("image line %1: %2").arg(lineNumber).arg(why);
            return check;
        }
        if (record.type != '1' && record.type != '2' && record.type != '3')
            continue;
        const bool isIdentity = record.address == kIdentityAddress;
        identitySeen = identitySeen || isIdentity;
        const QString diff = difference(flash, record.address, isIdentity ? identity : record.data);
        ++check.recordsCompared;
        if (!diff.isEmpty() && check.problems.size() < kMaxProblems)
            check.problems << (isIdentity ? QStringLiteral("identity record: ") + diff : diff);
    }
    if (!identitySeen)
        check.problems << QStringLiteral("the image has no identity record at %1")
                              .arg(hexAddress(kIdentityAddress));
    check.ok = check.problems.isEmpty() && check.recordsCompared > 1;
    if (check.recordsCompared <= 1 && check.problems.isEmpty())
        check.problems << QStringLiteral("the image holds no data besides the identity");
    return check;
}

} // namespace brimo::sim
