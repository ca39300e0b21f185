#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace brimo::sim {

class DeviceControl;

// The outcome of checking the simulated device after an update.
struct DeviceVerdict {
    bool ok = false;
    QStringList lines; // what was found, or why it is wrong
};

// Proves that the device holds, since exactly one flash write, the image the
// vendor service at `serviceHost` serves for `systemNumber`, with the device's
// own identity put back into it. Reads the device's status and `flashFile`.
DeviceVerdict checkDevice(const DeviceControl &device, const QString &flashFile,
                          const QString &serviceHost, const QByteArray &systemNumber);

} // namespace brimo::sim
