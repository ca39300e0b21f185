#pragma once

#include "platform/registrybackend.h"

#include <cstdint>
#include <string>

namespace brimo {

// The settings store over any registry backend, on 8-bit text. The QString
// functions in registry.h call these with the system's backend; tests and the
// Windows check program call them with a backend of their choice.

// Any failure reads as the empty text; a value that is not a string reads as
// defaultText. A string is cut at its first NUL and read whole when it has none.
std::string getRegistryValue(RegistryBackend &registry, std::uint32_t rootKey,
                             const std::string &keyPath, const std::string &valueName,
                             const std::string &defaultText = std::string());

// Stores text with its terminating NUL, creating the key when needed. Failures
// are silent.
void setRegistryValue(RegistryBackend &registry, std::uint32_t rootKey, const std::string &keyPath,
                      const std::string &valueName, const std::string &text);

} // namespace brimo
