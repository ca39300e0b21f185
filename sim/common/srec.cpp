#include "srec.h"

#include <algorithm>

namespace brimo::sim {
namespace {

int addressBytes(char type)
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
        return -1;
    }
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool parseSRecord(const QByteArray &line, SRecord *record, QString *error)
{
    if (line.size() < 4 || line.at(0) != 'S')
        return fail(error, QStringLiteral("not an S-record"));
    const int addrLen = addressBytes(line.at(1));
    if (addrLen < 0)
        return fail(error,
                    QStringLiteral("unknown record type S%1").arg(QChar::fromLatin1(line.at(1))));
    // fromHex() skips what is not a digit, so check the digits first.
    const QByteArray digits = line.mid(2);
    const bool allHex = std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
    if (!allHex || digits.size() % 2 != 0)
        return fail(error, QStringLiteral("bad hexadecimal digits"));
    const QByteArray bytes = QByteArray::fromHex(digits);
    const int count = static_cast<quint8>(bytes.at(0));
    if (count != bytes.size() - 1 || count < addrLen + 1)
        return fail(error, QStringLiteral("byte count %1 does not match the record").arg(count));
    quint32 sum = 0;
    for (int i = 0; i < bytes.size() - 1; ++i)
        sum += static_cast<quint8>(bytes.at(i));
    if (static_cast<quint8>(~sum) != static_cast<quint8>(bytes.back()))
        return fail(error, QStringLiteral("checksum mismatch"));
    quint32 address = 0;
    for (int i = 1; i <= addrLen; ++i)
        address = (address << 8) | static_cast<quint8>(bytes.at(i));
    if (record) {
        record->type = line.at(1);
        record->address = address;
        record->data = bytes.mid(1 + addrLen, count - addrLen - 1);
    }
    return true;
}

QByteArray formatSRecord(char type, quint32 address, const QByteArray &data)
{
    const int addrLen = addressBytes(type);
    QByteArray bytes;
    bytes.append(static_cast<char>(addrLen + data.size() + 1));
    for (int i = addrLen - 1; i >= 0; --i)
        bytes.append(static_cast<char>((address >> (8 * i)) & 0xFF));
    bytes.append(data);
    quint32 sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    bytes.append(static_cast<char>(~sum & 0xFF));
    return "S" + QByteArray(1, type) + bytes.toHex().toUpper();
}

QByteArray makeImage(qint64 minChars, const QByteArray &identity, quint32 seed)
{
    QByteArray image;
    image.reserve(minChars + 64);
    image += formatSRecord('0', 0, QByteArrayLiteral("BRIMO DB")) + "\r\n";
    quint32 state = seed ? seed : 1;
    quint32 address = 0;
    bool identityWritten = false;
    while (image.size() < minChars || !identityWritten) {
        QByteArray data(16, '\0');
        if (address == kIdentityAddress) {
            data = identity.leftJustified(16, '\0', true);
            identityWritten = true;
        } else {
            for (char &c : data) {
                state = state * 1103515245u + 12345u; // a small fixed generator
                c = static_cast<char>((state >> 16) & 0xFF);
            }
        }
        image += formatSRecord('3', address, data) + "\r\n";
        address += 16;
    }
    image += formatSRecord('7', 0, QByteArray()) + "\r\n";
    return image;
}

} // namespace brimo::sim
