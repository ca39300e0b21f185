#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace brimo::sim {

// The tool's end of the serial line: COM n as the utility names it, 57600
// baud, 8 data bits, no parity.
class SerialLine {
public:
    SerialLine();
    ~SerialLine();

    // False with the reason in *error when the port cannot be opened.
    bool open(int port, QString *error);
    bool write(const QByteArray &bytes);
    // What has arrived, after waiting at most `timeoutMs` (perhaps less) for it.
    QByteArray read(int timeoutMs);

private:
    struct Port;
    std::unique_ptr<Port> m_port;
};

} // namespace brimo::sim
