#pragma once

#include "platform/comports.h"

#include <map>

namespace brimo {

// The per-system part of the COM port list: each port's number and system
// name; and what opening a port of that list says.
std::map<int, QString> systemComPorts(const QString &comFolder);
ComPortState openState(const QString &systemName);

} // namespace brimo
