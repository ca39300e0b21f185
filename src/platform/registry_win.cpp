#include "platform/registry_win.h"
#include "platform/systemregistry.h"

#include <windows.h>

#include <vector>

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

constexpr std::uint32_t kLocalMachine = 0x80000002u;

// Where Windows put what a 32-bit program without a manifest, run on a
// standard account, wrote below HKEY_LOCAL_MACHINE\Software: the user's
// VirtualStore, in its 32-bit branch. Empty for a key elsewhere.
std::string virtualStorePath(std::uint32_t root, const std::string &path)
{
    const std::string software = "Software\\";
    if (root != kLocalMachine || path.size() <= software.size() ||
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(),
                       static_cast<int>(software.size()), software.c_str(),
                       static_cast<int>(software.size())) != CSTR_EQUAL)
        return {};
    return "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\" +
           path.substr(software.size());
}

DWORD valueCount(HKEY key, DWORD *longestName = nullptr, DWORD *longestData = nullptr)
{
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         longestName, longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return values;
}

// Every value of FROM, with its type and bytes, into TO.
void copyValues(HKEY from, HKEY to)
{
    DWORD longestName = 0, longestData = 0;
    const DWORD values = valueCount(from, &longestName, &longestData);
    std::vector<char> name(longestName + 1);
    std::vector<BYTE> data(longestData + 1);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(from, i, name.data(), &nameSize, nullptr, &type, data.data(),
                          &dataSize) == ERROR_SUCCESS)
            RegSetValueExA(to, name.data(), 0, type, data.data(), dataSize);
    }
}

bool holdsValues(std::uint32_t root, const std::string &path)
{
    HKEY machine = nullptr;
    if (RegOpenKeyExA(rootHandle(root), path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      &machine) != ERROR_SUCCESS)
        return false;
    const DWORD values = valueCount(machine);
    RegCloseKey(machine);
    return values > 0;
}

// The earlier 32-bit utility kept its settings below HKEY_LOCAL_MACHINE; run
// on a standard account, Windows redirected them into the user's VirtualStore.
// While the machine's key holds no value, what the VirtualStore holds is
// copied over; from then on the machine's key is the one in use, so this
// happens once. Nothing is created when there is nothing to copy.
void adoptVirtualStoreCopy(std::uint32_t root, const std::string &path)
{
    const std::string storePath = virtualStorePath(root, path);
    HKEY store = nullptr, machine = nullptr;
    if (storePath.empty() || holdsValues(root, path) ||
        RegOpenKeyExA(HKEY_CURRENT_USER, storePath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                      &store) != ERROR_SUCCESS)
        return;
    if (valueCount(store) > 0 &&
        RegCreateKeyExA(rootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &machine,
                        nullptr) == ERROR_SUCCESS) {
        copyValues(store, machine);
        RegCloseKey(machine);
    }
    RegCloseKey(store);
}

} // namespace

long WinRegistry::openKey(std::uint32_t root, const std::string &path, Key *key)
{
    adoptVirtualStoreCopy(root, path);
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExA(rootHandle(root), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &opened);
    *key = keyOf(result, opened);
    return result;
}

long WinRegistry::createKey(std::uint32_t root, const std::string &path, Key *key)
{
    adoptVirtualStoreCopy(root, path);
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

std::unique_ptr<RegistryBackend> systemRegistry(const QString &)
{
    return std::make_unique<WinRegistry>();
}

} // namespace brimo
