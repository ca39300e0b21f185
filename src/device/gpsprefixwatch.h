#pragma once

#include <QByteArray>

namespace brimo {

// Collects what a port delivers during one probe and tells whether the NMEA
// talker prefix "$GP" has arrived. Nothing is dropped between reads, so a
// prefix split over two or three reads is still found.
class GpsPrefixWatch {
public:
    // Adds one read's text; true once "$GP" has been received, exact case.
    bool append(const QByteArray &chunk);

private:
    QByteArray m_received;
};

} // namespace brimo
