#include "settings/settingsstore.h"

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

RegistryStore::RegistryStore(const QString &settingsFile) : m_registry(systemRegistry(settingsFile))
{}

RegistryStore::~RegistryStore() = default;

QString RegistryStore::value(const QString &name)
{
    return fromCodePage(getRegistryValue(*m_registry, kHkeyLocalMachine, toCodePage(kSettingsKey),
                                         toCodePage(name)));
}

void RegistryStore::setValue(const QString &name, const QString &text)
{
    setRegistryValue(*m_registry, kHkeyLocalMachine, toCodePage(kSettingsKey), toCodePage(name),
                     toCodePage(text));
}

} // namespace brimo
