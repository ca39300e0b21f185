#pragma once

#include <QString>
#include <QtGlobal>

namespace brimo {

// The system name of COM port n: "COMn" on Windows; elsewhere the device that
// DIR/comn names, DIR being $BRIMO_COM_DIR if set, else the Wine prefix's
// dosdevices folder, and /dev/ttyS<n-1> when there is no such link.
QString comPortSystemName(int port);

#ifndef Q_OS_WIN
// Where Wine keeps its device links ("com3", "z:"): ${WINEPREFIX:-$HOME/.wine}/dosdevices.
QString wineDevicesFolder();
#endif

} // namespace brimo
