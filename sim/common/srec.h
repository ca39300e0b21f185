#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace brimo::sim {

// Flash address of the identity record in every image.
inline constexpr quint32 kIdentityAddress = 0x00080010u;

// One parsed Motorola S-record line.
struct SRecord {
    char type = '0';
    quint32 address = 0;
    QByteArray data;
};

// Parses one line (without its line end). Checks the type, the hexadecimal
// digits, the byte count against the line length and the checksum. On failure
// returns false and says why in *error.
bool parseSRecord(const QByteArray &line, SRecord *record, QString *error);

// Formats a data record of type 1, 2 or 3 with its count and checksum.
QByteArray formatSRecord(char type, quint32 address, const QByteArray &data);

// A valid update image of at least minChars characters: an S0 header, S3
// data records of 16 bytes from address 0 upwards (the identity record at
// 0x00080010 among them, carrying `identity`, 16 bytes), then an S7
// terminator. Lines end in CR LF. The data is a fixed function of `seed`.
QByteArray makeImage(qint64 minChars, const QByteArray &identity, quint32 seed = 1);

} // namespace brimo::sim
