#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace brimo::sim {

struct FlashBlock {
    quint32 address = 0;
    QByteArray data;
};

// What writing an image takes: its data in blocks of consecutive addresses,
// and what the device checks at the end.
struct ImagePlan {
    QList<FlashBlock> blocks;
    int records = 0; // data records (S1, S2, S3)
    quint32 byteCount = 0;
    quint32 byteSum = 0;
};

// Checks every record of an S-record image before anything is written:
// type, hexadecimal digits, byte count, checksum, address inside the flash,
// the count in an S5/S6 record. False with "line N: why" at the first bad one.
bool planImage(const QByteArray &text, ImagePlan *plan, QString *error);

} // namespace brimo::sim
