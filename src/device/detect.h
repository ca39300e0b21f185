#pragma once

#include <QtGlobal>

namespace brimo {

class SerialControl;

// Listens on COM `port` for the NMEA prefix "$GP" for `timeoutSeconds`
// seconds. The port is closed again on every return.
bool probePort(SerialControl &comm, qint16 port, qint16 timeoutSeconds);

} // namespace brimo
