#include "image/imagecheck.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace brimo {

namespace {

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

// The longest record has 255 pairs after its count: 514 characters. A line is
// judged on one character more, which is enough to tell that it is too long.
constexpr qsizetype kJudgedLength = 4 + 2 * 255 + 1;

} // namespace

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

void ImageCheck::add(QByteArrayView piece)
{
    const char *next = piece.data();
    const char *const end = next + piece.size();
    while (next < end && m_problem.isEmpty()) {
        const auto *lineEnd =
            static_cast<const char *>(std::memchr(next, '\n', static_cast<size_t>(end - next)));
        const char *const stop = lineEnd ? lineEnd : end;
        if (m_pending.isEmpty() && lineEnd) {
            // The usual case: a whole line within the piece, looked at in place.
            checkLine(QByteArrayView(next, stop - next), m_offset + (next - piece.data()));
        } else {
            const qsizetype room = kJudgedLength + 1 - m_pending.size();
            m_pending.append(next, std::min<qsizetype>(room, stop - next));
            if (lineEnd) {
                checkLine(m_pending, m_lineStart);
                m_pending.clear();
            }
        }
        if (lineEnd)
            m_lineStart = m_offset + (lineEnd + 1 - piece.data());
        next = lineEnd ? lineEnd + 1 : end;
    }
    m_offset += piece.size();
}

QString ImageCheck::finish(const QByteArray &regEnd)
{
    if (m_problem.isEmpty() && m_lineStart < m_offset)
        checkLine(m_pending, m_lineStart);
    m_pending.clear();
    if (QString problem = regEndProblem(regEnd); !problem.isEmpty())
        return problem;
    if (m_problem.isEmpty() && !m_terminated)
        return notWhole(QStringLiteral("it does not end with a termination record"));
    return m_problem;
}

void ImageCheck::checkLine(QByteArrayView line, qint64 start)
{
    if (line.endsWith('\r'))
        line.chop(1);
    line = line.first(std::min(line.size(), kJudgedLength));
    ++m_lines;
    if (m_terminated) {
        m_problem = notWhole(QStringLiteral("line %1 follows its termination record").arg(m_lines));
        return;
    }
    if (const Fault fault = recordFault(line); fault != Fault::None) {
        m_problem = notWhole(QStringLiteral("line %1 %2").arg(m_lines).arg(faultText(fault)));
        return;
    }
    if (writesIdentity(line))
        m_problem = identityProblem(line, start);
    // S7, S8 and S9 end an image.
    m_terminated = line.at(1) >= '7';
}

QString ImageCheck::identityProblem(QByteArrayView record, qint64 start)
{
    if (!record.startsWith(kIdentityRecordStart))
        return QStringLiteral("The update writes over the device's identity: line %1").arg(m_lines);
    if (m_identityLine == 0) {
        m_identity = record.toByteArray();
        m_identityLine = m_lines;
    } else if (record != m_identity) {
        return QStringLiteral("The update holds two different identity records: lines %1 and %2")
            .arg(m_identityLine)
            .arg(m_lines);
    }
    m_identityAt.append(start);
    return {};
}

} // namespace brimo
