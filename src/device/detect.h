#pragma once

#include "platform/comports.h"
#include "platform/serialcontrol.h"

#include <QString>
#include <QtGlobal>

namespace brimo {

// Whether a Brimo device streams its NMEA sentences on a COM port.
class PortProbe {
public:
    virtual ~PortProbe() = default;
    // Listens on COM `port` for the NMEA prefix for `timeoutSeconds`
    // seconds; true when it came. The port is closed again on every return.
    virtual bool probePort(qint16 port, qint16 timeoutSeconds) = 0;
    // Ends the probe under way at once, as one that heard nothing.
    virtual void cancel() = 0;
    // The COM ports the PC has, in number order.
    virtual QList<ComPortInfo> ports() = 0;
    // Whether COM `port` could be opened now, and when not, why.
    virtual ComPortState state(int port) = 0;

protected:
    PortProbe() = default;
    PortProbe(const PortProbe &) = default;
    PortProbe &operator=(const PortProbe &) = default;
};

// The probe on the serial line, at the device's line settings. Window events
// run between its looks at the line, every 100 ms.
class SerialPortProbe : public PortProbe {
public:
    // comFolder: where the COM ports' links are (not on Windows).
    explicit SerialPortProbe(const QString &comFolder);

    bool probePort(qint16 port, qint16 timeoutSeconds) override;
    void cancel() override { m_cancelled = true; }
    QList<ComPortInfo> ports() override { return availableComPorts(m_comFolder); }
    ComPortState state(int port) override { return comPortState(port, m_comFolder); }

private:
    QString m_comFolder;
    SerialControl MSComm1;
    bool m_cancelled = false;
};

} // namespace brimo
