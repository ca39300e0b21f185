#pragma once

#include "platform/registrybackend.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace brimo {

// The machine-wide root under which the utility keeps its settings.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline const QString kSettingsKey = QStringLiteral("Software\\Brimo");
// The settings the utility keeps, each a text: the device's COM port number,
// and the proxy server and port chosen in the settings dialog.
inline const QString kComPortValue = QStringLiteral("COMPort");
inline const QString kProxyServerValue = QStringLiteral("ProxyServer");
inline const QString kProxyPortValue = QStringLiteral("ProxyPort");

// The three settings, texts as they are stored: the COM port ("" when none),
// the proxy server ("" for the system's proxy) and the proxy port.
struct Settings {
    QString comPort;
    QString proxyServer;
    QString proxyPort;
};

// The utility's settings under HKEY_LOCAL_MACHINE\Software\Brimo. No copy is
// kept: every read goes to the store, every write straight through, so a
// value another program stored is the one read next.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The value's text; any failure reads as the empty text.
    virtual QString value(const QString &name) = 0;
    // Stores the text; a failure is silent and leaves the value as it was.
    virtual void setValue(const QString &name, const QString &text) = 0;

    // The three settings as the store holds them now.
    Settings settings()
    {
        return {value(kComPortValue), value(kProxyServerValue), value(kProxyPortValue)};
    }

protected:
    SettingsStore() = default;
    SettingsStore(const SettingsStore &) = default;
    SettingsStore &operator=(const SettingsStore &) = default;
};

// The store in the system's registry, or where there is none in the settings
// file `settingsFile`, as text in the system's 8-bit code page.
class RegistryStore : public SettingsStore {
public:
    explicit RegistryStore(const QString &settingsFile);
    ~RegistryStore() override;

    QString value(const QString &name) override;
    void setValue(const QString &name, const QString &text) override;

private:
    std::unique_ptr<RegistryBackend> m_registry;
};

} // namespace brimo
