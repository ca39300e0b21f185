#include "platform/registry_win.h"

#include <windows.h>

namespace brimo {

namespace {

// A predefined root is a 32-bit handle value that the system sign-extends to
// pointer width (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 in a 64-bit program).
HKEY rootHandle(std::uint32_t root)
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

HKEY handle(RegistryBackend::Key key)
{
    return reinterpret_cast<HKEY>(key);
}

RegistryBackend::Key keyOf(LONG result, HKEY opened)
{
    return result == ERROR_SUCCESS ? reinterpret_cast<RegistryBackend::Key>(opened) : 0;
}

} // namespace

long WinRegistry::openKey(std::uint32_t root, const std::string &path, Key *key)
{
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExA(rootHandle(root), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &opened);
    *key = keyOf(result, opened);
    return result;
}

long WinRegistry::createKey(std::uint32_t root, const std::string &path, Key *key)
{
    HKEY opened = nullptr;
    const LONG result =
        RegCreateKeyExA(rootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &opened, nullptr);
    *key = keyOf(result, opened);
    return result;
}

long WinRegistry::queryValue(Key key, const std::string &name, std::uint32_t *type,
                             unsigned char *data, std::uint32_t *size)
{
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LONG result =
        RegQueryValueExA(handle(key), name.c_str(), nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return result;
}

long WinRegistry::setValue(Key key, const std::string &name, std::uint32_t type,
                           const unsigned char *data, std::uint32_t size)
{
    return RegSetValueExA(handle(key), name.c_str(), 0, type, data, size);
}

long WinRegistry::closeKey(Key key)
{
    return RegCloseKey(handle(key));
}

} // namespace brimo
