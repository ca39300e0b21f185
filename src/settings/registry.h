#pragma once

#include <QString>
#include <cstdint>

namespace brimo {

// The machine-wide root under which the utility keeps its settings.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline const QString kSettingsKey = QStringLiteral("Software\\Brimo");
// The settings the utility keeps, each a text: the device's COM port number,
// and the proxy server and port chosen in the settings dialog.
inline const QString kComPortValue = QStringLiteral("COMPort");
inline const QString kProxyServerValue = QStringLiteral("ProxyServer");
inline const QString kProxyPortValue = QStringLiteral("ProxyPort");

// Reads a string value. Any failure reads as the empty text; a value that is
// not a string reads as defaultText.
QString getRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                         const QString &defaultText = QString());

// Writes a string value, creating the key when needed. Failures are silent:
// the stored value then stays as it was.
void setRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                      const QString &text);

// One of the utility's settings under HKEY_LOCAL_MACHINE\Software\Brimo.
inline QString storedSetting(const QString &name)
{
    return getRegistryValue(kHkeyLocalMachine, kSettingsKey, name, QString());
}
inline void storeSetting(const QString &name, const QString &text)
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, name, text);
}

// The three settings, texts as they are stored: the COM port ("" when none),
// the proxy server ("" for the system's proxy) and the proxy port.
struct Settings {
    QString comPort;
    QString proxyServer;
    QString proxyPort;
};

// The settings as the store holds them now, from one look at it.
Settings storedSettings();

} // namespace brimo
