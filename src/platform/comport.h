#pragma once

#include <QString>

namespace brimo {

// The system name of COM port n: "COMn" on Windows; elsewhere the device
// that `comFolder`/comn names, and /dev/ttyS<n-1> when there is no such link.
QString comPortSystemName(int port, const QString &comFolder);

} // namespace brimo
