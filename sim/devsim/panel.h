#pragma once

#include <QString>

class QWidget;

namespace brimo::sim {

class Device;

// A window onto the device for a person: the mode switch, the power switch,
// its status and its identity block. It changes the device as the control
// commands do and follows every change.
QWidget *makePanel(Device &device, const QString &title);

} // namespace brimo::sim
