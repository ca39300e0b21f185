// Checks the settings store against the real Windows registry: the same store
// and Windows backend sources as the utility, built without Qt. Prints one line
// per check and a closing "N passed, M failed"; exits non-zero on a failure.
//
// It replaces and finally removes HKEY_LOCAL_MACHINE\Software\Brimo, so it runs
// only where BRIMO_REGISTRY_SCRATCH=1 says the registry is a throw-away one
// (scripts/test-windows runs it in a fresh Wine prefix).

#include "platform/registry_win.h"
#include "settings/registryvalue.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace brimo;

namespace {

constexpr std::uint32_t kMachine = 0x80000002u;
const std::string kKeyPath = "Software\\Brimo";
// Where a 64-bit program sees what 32-bit programs keep below Software.
const std::string kKeyPathSeenBy64Bit = "Software\\WOW6432Node\\Brimo";

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const std::string &what, const std::string &detail = std::string())
{
    ++(ok ? g_passed : g_failed);
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), ok ? "" : ": ",
                ok ? "" : detail.c_str());
}

void checkText(const std::string &what, const std::string &got, const std::string &expected)
{
    check(got == expected, what, "got \"" + got + "\", expected \"" + expected + "\"");
}

HKEY machine()
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(kMachine)));
}

// Raw access with an explicit view, bypassing the store.
LONG rawSet(REGSAM view, const std::string &path, const std::string &name, DWORD type,
            const std::string &bytes, DWORD size)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(machine(), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE | view, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, name.c_str(), 0, type,
                            reinterpret_cast<const BYTE *>(bytes.data()), size);
    RegCloseKey(key);
    return result;
}

struct RawValue {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    std::string bytes;
};

RawValue rawGet(REGSAM view, const std::string &path, const std::string &name)
{
    RawValue raw;
    HKEY key = nullptr;
    raw.result = RegOpenKeyExA(machine(), path.c_str(), 0, KEY_READ | view, &key);
    if (raw.result != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    raw.result = RegQueryValueExA(key, name.c_str(), nullptr, &raw.type, nullptr, &size);
    if (raw.result == ERROR_SUCCESS) {
        raw.bytes.assign(size, '\x7f');
        raw.result = RegQueryValueExA(key, name.c_str(), nullptr, &raw.type,
                                      reinterpret_cast<BYTE *>(&raw.bytes[0]), &size);
        raw.bytes.resize(size);
    }
    RegCloseKey(key);
    return raw;
}

int valueCount(const std::string &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(machine(), path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return -1;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(count);
}

void removeKey()
{
    RegDeleteKeyExA(machine(), kKeyPath.c_str(), KEY_WOW64_32KEY, 0);
}

std::string get(const std::string &name, const std::string &defaultText = std::string())
{
    WinRegistry registry;
    return getRegistryValue(registry, kMachine, kKeyPath, name, defaultText);
}

void set(const std::string &name, const std::string &text)
{
    WinRegistry registry;
    setRegistryValue(registry, kMachine, kKeyPath, name, text);
}

void freshMachine()
{
    removeKey();
    checkText("no key: a value reads as the empty text, not the default", get("COMPort", "d"), "");
    check(rawGet(KEY_WOW64_32KEY, kKeyPath, "COMPort").result == ERROR_FILE_NOT_FOUND,
          "no key: the key is really missing");
    set("COMPort", "3");
    const RawValue raw = rawGet(KEY_WOW64_32KEY, kKeyPath, "COMPort");
    check(raw.result == ERROR_SUCCESS && raw.type == REG_SZ && raw.bytes == std::string("3", 2),
          "first write creates the key and a string value with its NUL",
          "result " + std::to_string(raw.result) + ", size " + std::to_string(raw.bytes.size()));
    checkText("first write reads back", get("COMPort"), "3");
    checkText("missing value in an existing key reads as the empty text", get("ProxyServer", "d"),
              "");
}

struct StoredCase {
    const char *what;
    DWORD type;
    std::string buffer; // what lies in memory when the value is stored
    DWORD size;         // how many bytes of it are handed over
    const char *defaultText;
    const char *expected;
};

void storedValues()
{
    const std::string dword("\x03\x00\x00\x00", 4);
    const std::vector<StoredCase> cases = {
        {"number type reads as the empty text", REG_DWORD, dword, 4, "", ""},
        {"number type reads as the caller's default", REG_DWORD, dword, 4, "7", "7"},
        {"expandable string is not a string", REG_EXPAND_SZ, std::string("x", 2), 2, "d", "d"},
        {"NUL in the middle cuts the text", REG_SZ, std::string("ab\0cd", 6), 6, "", "ab"},
        {"string without terminating NUL reads in full", REG_SZ, "12X", 2, "", "12"},
        {"string of one NUL reads as the empty text", REG_SZ, std::string(1, '\0'), 1, "d", ""},
    };
    for (const StoredCase &c : cases) {
        rawSet(KEY_WOW64_32KEY, kKeyPath, "COMPort", c.type, c.buffer, c.size);
        checkText(c.what, get("COMPort", c.defaultText), c.expected);
    }
    // The system adds a NUL lying just past the given length; make sure the
    // case above really stored none.
    rawSet(KEY_WOW64_32KEY, kKeyPath, "COMPort", REG_SZ, "12X", 2);
    const RawValue unterminated = rawGet(KEY_WOW64_32KEY, kKeyPath, "COMPort");
    check(unterminated.bytes == "12", "the value without NUL holds exactly its two bytes",
          "holds " + std::to_string(unterminated.bytes.size()) + " bytes");
}

void writtenValues()
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"COMPort", ""},
        {"ProxyPort", "80ab"},
        {"ProxyServer", " proxy.example.net  x "},
    };
    for (const auto &[name, text] : cases) {
        set(name, text);
        const RawValue raw = rawGet(KEY_WOW64_32KEY, kKeyPath, name);
        check(raw.result == ERROR_SUCCESS && raw.type == REG_SZ && raw.bytes == text + '\0',
              name + " \"" + text + "\" is stored as a string with its NUL");
        checkText(name + " \"" + text + "\" reads back", get(name, "d"), text);
    }
}

void repeatedWrites()
{
    const int before = valueCount(kKeyPath);
    for (const char *text : {"1", "2", "3"})
        set("COMPort", text);
    set("comport", "4");
    checkText("repeated writes: the last one is read", get("COMPort"), "4");
    check(valueCount(kKeyPath) == before, "repeated writes create no second value",
          std::to_string(before) + " values before, " + std::to_string(valueCount(kKeyPath)) +
              " after");
}

void thirtyTwoBitView()
{
    rawSet(KEY_WOW64_64KEY, kKeyPathSeenBy64Bit, "ProxyServer", REG_SZ, std::string("legacy", 7),
           7);
    checkText("a value left by a 32-bit program is read", get("ProxyServer"), "legacy");
    set("ProxyPort", "8080");
    const RawValue seen = rawGet(KEY_WOW64_64KEY, kKeyPathSeenBy64Bit, "ProxyPort");
    check(seen.result == ERROR_SUCCESS && seen.bytes == std::string("8080", 5),
          "a written value lands in the 32-bit view");
    const RawValue native = rawGet(KEY_WOW64_64KEY, kKeyPath, "ProxyPort");
    check(native.result != ERROR_SUCCESS, "a written value stays out of the 64-bit view");
}

} // namespace

int main()
{
    const char *scratch = std::getenv("BRIMO_REGISTRY_SCRATCH");
    if (!scratch || std::string(scratch) != "1") {
        std::fprintf(stderr, "refusing to touch this registry: set BRIMO_REGISTRY_SCRATCH=1 "
                             "only for a throw-away one\n");
        return 2;
    }
    freshMachine();
    storedValues();
    writtenValues();
    repeatedWrites();
    thirtyTwoBitView();
    removeKey();
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
