#include "settings/registry.h"

#include "platform/systemregistry.h"
#include "settings/registryvalue.h"

namespace brimo {

namespace {

// The registry holds text in the system's 8-bit code page.
std::string toCodePage(const QString &text)
{
    return text.toLocal8Bit().toStdString();
}

QString fromCodePage(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString getRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                         const QString &defaultText)
{
    SystemRegistry registry;
    return fromCodePage(getRegistryValue(registry, rootKey, toCodePage(keyPath),
                                         toCodePage(valueName), toCodePage(defaultText)));
}

void setRegistryValue(std::uint32_t rootKey, const QString &keyPath, const QString &valueName,
                      const QString &text)
{
    SystemRegistry registry;
    setRegistryValue(registry, rootKey, toCodePage(keyPath), toCodePage(valueName),
                     toCodePage(text));
}

Settings storedSettings()
{
    SystemRegistry registry;
    const auto stored = [&registry](const QString &name) {
        return fromCodePage(getRegistryValue(registry, kHkeyLocalMachine, toCodePage(kSettingsKey),
                                             toCodePage(name)));
    };
    return {stored(kComPortValue), stored(kProxyServerValue), stored(kProxyPortValue)};
}

} // namespace brimo
