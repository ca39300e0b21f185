#pragma once

#include <QString>

namespace brimo {

// The system name of COM port n: "COMn" on Windows; elsewhere the device that
// DIR/comn names, DIR being $BRIMO_COM_DIR if set, else the Wine prefix's
// dosdevices folder, and /dev/ttyS<n-1> when there is no such link.
QString comPortSystemName(int port);

} // namespace brimo
