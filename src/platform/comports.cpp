#include "platform/comports.h"
#include "platform/comports_p.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace brimo {

namespace {

// What the system knows of the port: Windows names it as the list does
// ("COM20"), elsewhere the list has the device the link leads to.
ComPortInfo describe(int number, const QString &systemName, const QList<QSerialPortInfo> &known)
{
    ComPortInfo port{number, systemName, {}, {}, {}};
    const QString device = QFileInfo(systemName).canonicalFilePath();
    for (const QSerialPortInfo &info : known) {
        if (info.portName() != systemName && info.systemLocation() != device)
            continue;
        port.description = info.description();
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
    }
    return port;
}

} // namespace

QList<ComPortInfo> availableComPorts(const QString &comFolder)
{
    const QList<QSerialPortInfo> known = QSerialPortInfo::availablePorts();
    QList<ComPortInfo> ports;
    for (const auto &[number, systemName] : systemComPorts(comFolder))
        ports << describe(number, systemName, known);
    return ports;
}

QString comPortSummary(const ComPortInfo &port)
{
    QStringList known;
    // Windows' own name says no more than the number.
    if (port.systemName != QStringLiteral("COM%1").arg(port.number))
        known << port.systemName;
    if (!port.description.isEmpty())
        known << port.description;
    const auto hex = [](std::optional<quint16> id) {
        return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("?");
    };
    if (port.vendorId || port.productId)
        known << QStringLiteral("USB ") + hex(port.vendorId) + u':' + hex(port.productId);
    const QString name = QStringLiteral("COM %1").arg(port.number);
    return known.isEmpty() ? name : name + QStringLiteral(": ") + known.join(QStringLiteral(", "));
}

ComPortState comPortState(int port, const QString &comFolder)
{
    const std::map<int, QString> ports = systemComPorts(comFolder);
    const auto found = ports.find(port);
    return found == ports.end() ? ComPortState::Missing : openState(found->second);
}

} // namespace brimo
