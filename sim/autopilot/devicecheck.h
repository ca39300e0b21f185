#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace brimo::sim {

// One command to the simulated device's control interface at "HOST:PORT";
// its reply line, or empty when the device cannot be reached.
QString deviceCommand(const QString &device, const QString &command);
// A value of the device's status ("writes", "system", ...).
QString deviceStatus(const QString &device, const QString &key);

// Proves that the device holds, since exactly one flash write, the image the
// service at "HOST:PORT" serves for `systemNumber`, with the device's own
// identity put back into it: the device's status, and every data record of
// the image against the device's flash file. Empty when all is as it should
// be; else the first few differences.
QStringList checkDevice(const QString &device, const QString &flashFile, const QString &service,
                        const QByteArray &systemNumber);

} // namespace brimo::sim
