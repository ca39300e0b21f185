#pragma once

#include <QString>
#include <cstdint>

namespace brimo {

// The machine-wide root under which the utility keeps its settings.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline const QString kSettingsKey = QStringLiteral("Software\\Brimo");
// The setting that holds the device's COM port number as text.
inline const QString kComPortValue = QStringLiteral("COMPort");

// Reads a string value. Any failure reads as the empty text; a value that is
// not a string reads as defaultText.
QString getRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                         const QString &defaultText = QString());

// Writes a string value, creating the key when needed. Failures are silent:
// the stored value then stays as it was.
void setRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                      const QString &text);

} // namespace brimo
