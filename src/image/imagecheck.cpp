#include "image/imagecheck.h"

#include <array>
#include <cstring>

namespace brimo {

namespace {

constexpr qsizetype kRegEndLength = 16;
constexpr unsigned kNotHex = 0x100;

constexpr unsigned digitValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10u;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10u;
    return kNotHex;
}

// The byte that each pair of characters stands for as two hexadecimal
// digits, or kNotHex. Reading an image a pair at a time through it keeps the
// check of a large image cheap beside its download.
const std::array<quint16, 65536> kPairValue = [] {
    std::array<quint16, 65536> table{};
    for (unsigned pair = 0; pair < table.size(); ++pair) {
        const unsigned high = digitValue(static_cast<unsigned char>(pair >> 8));
        const unsigned low = digitValue(static_cast<unsigned char>(pair));
        table[pair] =
            static_cast<quint16>(high == kNotHex || low == kNotHex ? kNotHex : high * 16 + low);
    }
    return table;
}();

unsigned pairValue(const char *pair)
{
    return kPairValue[static_cast<unsigned char>(pair[0]) * 256u +
                      static_cast<unsigned char>(pair[1])];
}

// The bytes of the address field of each record type; 0 for no such type.
qsizetype addressBytes(char type)
{
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 0;
    }
}

enum class Fault { None, NotARecord, NotHex, WrongLength, TooShort, WrongChecksum };

Fault recordFault(QByteArrayView line)
{
    if (line.size() < 4 || line.at(0) != 'S' || addressBytes(line.at(1)) == 0)
        return Fault::NotARecord;
    // Every pair is summed and checked in one pass; a line is all digits but
    // its first two characters, so the checks are gathered and looked at once.
    unsigned sum = 0;
    unsigned pairs = 0;
    for (qsizetype i = 2; i + 1 < line.size(); i += 2) {
        const unsigned value = pairValue(line.data() + i);
        pairs |= value;
        sum += value;
    }
    const bool oddDigit =
        line.size() % 2 != 0 && digitValue(static_cast<unsigned char>(line.back())) == kNotHex;
    if (pairs >= kNotHex || oddDigit)
        return Fault::NotHex;
    const qsizetype count = pairValue(line.data() + 2);
    if (line.size() != 4 + 2 * count)
        return Fault::WrongLength;
    if (count < addressBytes(line.at(1)) + 1)
        return Fault::TooShort;
    if ((sum & 0xFFu) != 0xFFu)
        return Fault::WrongChecksum;
    return Fault::None;
}

QString faultText(Fault fault)
{
    switch (fault) {
    case Fault::None:
        break;
    case Fault::NotARecord:
        return QStringLiteral("is not an S-record");
    case Fault::NotHex:
        return QStringLiteral("holds a character that is not a hexadecimal digit");
    case Fault::WrongLength:
        return QStringLiteral("is not as long as its byte count says");
    case Fault::TooShort:
        return QStringLiteral("is too short for its record type");
    case Fault::WrongChecksum:
        return QStringLiteral("has a wrong checksum");
    }
    return {};
}

QString notWhole(const QString &why)
{
    return QStringLiteral("The update is not a whole image: ") + why;
}

// The device's own identity in its flash.
constexpr quint64 kIdentityFirst = 0x080010;
constexpr quint64 kIdentityLast = 0x08001F;

// Whether a well-formed data record (S1, S2, S3) puts a byte between
// kIdentityFirst and kIdentityLast.
bool writesIdentity(QByteArrayView record)
{
    if (record.at(1) < '1' || record.at(1) > '3')
        return false;
    const qsizetype addressLength = addressBytes(record.at(1));
    quint64 first = 0;
    for (qsizetype i = 0; i < addressLength; ++i)
        first = first * 256 + pairValue(record.data() + 4 + 2 * i);
    const quint64 bytes = pairValue(record.data() + 2) - static_cast<quint64>(addressLength) - 1;
    return bytes > 0 && first <= kIdentityLast && first + bytes - 1 >= kIdentityFirst;
}

// Follows an image's records, in order, as they touch the device's identity.
class IdentityArea {
public:
    // Why the well-formed record on line `number` must not be flashed, or
    // the empty text.
    QString problemWith(QByteArrayView record, qsizetype number)
    {
        if (!writesIdentity(record))
            return {};
        if (!record.startsWith(kIdentityRecordStart))
            return QStringLiteral("The update writes over the device's identity: line %1")
                .arg(number);
        if (m_firstLine == 0) {
            m_first = record;
            m_firstLine = number;
        } else if (record != m_first) {
            return QStringLiteral("The update holds two different identity records: lines %1 "
                                  "and %2")
                .arg(m_firstLine)
                .arg(number);
        }
        return {};
    }

private:
    QByteArrayView m_first;
    qsizetype m_firstLine = 0;
};

// The line that starts at `start`, up to its LF and without a CR before it.
QByteArrayView wholeLine(const char *start, const char *end, const char **next)
{
    const auto *found =
        static_cast<const char *>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
    *next = found ? found + 1 : end;
    const QByteArrayView line(start, (found ? found : end) - start);
    return line.endsWith('\r') ? line.chopped(1) : line;
}

} // namespace

QString recordProblem(QByteArrayView line)
{
    return faultText(recordFault(line));
}

QString regEndProblem(const QByteArray &regEnd)
{
    if (regEnd.isEmpty())
        return QStringLiteral("The update came without its identity tail (REGEND)");
    bool digits = regEnd.size() == kRegEndLength;
    for (const char c : regEnd)
        digits = digits && digitValue(static_cast<unsigned char>(c)) != kNotHex;
    if (!digits)
        return QStringLiteral("The identity tail \"%1\" is not 16 hexadecimal digits")
            .arg(QString::fromLatin1(regEnd.left(2 * kRegEndLength)));
    return {};
}

QString imageProblem(const QByteArray &image, const QByteArray &regEnd)
{
    if (const QString problem = regEndProblem(regEnd); !problem.isEmpty())
        return problem;
    const char *next = image.constData();
    const char *const end = next + image.size();
    qsizetype number = 0;
    bool terminated = false;
    IdentityArea identity;
    while (next < end) {
        ++number;
        if (terminated)
            return notWhole(QStringLiteral("line %1 follows its termination record").arg(number));
        const QByteArrayView line = wholeLine(next, end, &next);
        const Fault fault = recordFault(line);
        if (fault != Fault::None)
            return notWhole(QStringLiteral("line %1 %2").arg(number).arg(faultText(fault)));
        if (QString problem = identity.problemWith(line, number); !problem.isEmpty())
            return problem;
        // S7, S8 and S9 end an image.
        terminated = line.at(1) >= '7';
    }
    if (!terminated)
        return notWhole(QStringLiteral("it does not end with a termination record"));
    return {};
}

QString identityAreaProblem(const QByteArray &image)
{
    const char *next = image.constData();
    const char *const end = next + image.size();
    IdentityArea identity;
    for (qsizetype number = 1; next < end; ++number) {
        const QByteArrayView line = wholeLine(next, end, &next);
        if (recordFault(line) != Fault::None)
            continue;
        if (QString problem = identity.problemWith(line, number); !problem.isEmpty())
            return problem;
    }
    return {};
}

} // namespace brimo
