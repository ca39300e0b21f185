#pragma once

#include "platform/registrybackend.h"

#include <QString>

#include <memory>

namespace brimo {

// The one place that picks the registry backend for the operating system:
// Windows' own registry, elsewhere the settings file `settingsFile`.
std::unique_ptr<RegistryBackend> systemRegistry(const QString &settingsFile);

} // namespace brimo
