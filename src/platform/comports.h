#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace brimo {

// A COM port the PC has.
struct ComPortInfo {
    int number = 0;
    QString systemName;  // "COM20" on Windows; elsewhere the device its link names
    QString description; // as the system describes the port; empty when it does not
    std::optional<quint16> vendorId, productId; // a USB adapter's ids
};

// The COM ports the PC has, in number order: on Windows the system's list of
// serial ports; elsewhere the comN links of comFolder (the folder of Wine's
// device links, or the one the user named) whose device is there.
QList<ComPortInfo> availableComPorts(const QString &comFolder);

// One port as the support log names it: "COM 20: /dev/ttyUSB0, FT232R USB UART,
// USB 0403:6001", leaving out what is not known.
QString comPortSummary(const ComPortInfo &port);

enum class ComPortState {
    Free,    // opened and closed again
    InUse,   // another program holds it open
    Missing, // the PC does not have it, or it cannot be opened for another reason
    Refused, // the system refuses this user the port
};

// Whether COM port n could be opened now, and when not, why; opens it for a
// moment when nothing else tells.
ComPortState comPortState(int port, const QString &comFolder);

} // namespace brimo
