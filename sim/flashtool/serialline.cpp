#include "serialline.h"

#include "platform/comport.h"

#include <QSerialPort>

namespace brimo::sim {

struct SerialLine::Port {
    QSerialPort serial;
};

SerialLine::SerialLine() : m_port(std::make_unique<Port>()) {}

SerialLine::~SerialLine() = default;

bool SerialLine::open(int port, QString *error)
{
    QSerialPort &serial = m_port->serial;
    serial.setPortName(comPortSystemName(port));
    if (!serial.open(QIODevice::ReadWrite)) {
        *error = serial.portName() + QStringLiteral(": ") + serial.errorString();
        return false;
    }
    serial.setBaudRate(57600); // nothing to a pseudo-terminal, kept for a real line
    serial.clear();
    return true;
}

bool SerialLine::write(const QByteArray &bytes)
{
    return m_port->serial.write(bytes) == bytes.size();
}

// Waiting for input also sends what is still queued for output.
QByteArray SerialLine::read(int timeoutMs)
{
    if (m_port->serial.bytesAvailable() == 0)
        m_port->serial.waitForReadyRead(timeoutMs);
    return m_port->serial.readAll();
}

} // namespace brimo::sim
