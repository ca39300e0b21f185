#pragma once

#include <QByteArray>
#include <QStringList>

namespace brimo::sim {

// What the comparison of a device's flash with an update image found.
struct FlashCheck {
    bool ok = false;
    int recordsCompared = 0;
    QStringList problems; // the first few differences, in image order
};

// Compares every data record of `image` (S-record text as the vendor service
// serves it) with the flash memory `flash`. The identity record is expected to
// hold the device's own `systemNumber` (8 characters) followed by the bytes of
// `regend` (16 hexadecimal digits), as the utility must write it back.
FlashCheck checkFlash(const QByteArray &flash, const QByteArray &image,
                      const QByteArray &systemNumber, const QByteArray &regend);

} // namespace brimo::sim
